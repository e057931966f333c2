#include "app/ui/guioperator.h"

#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QLabel>
#include <QScreen>
#include <QMessageBox>
#include <QStatusBar>
#include <QWidget>

namespace vork {

GuiOperator::GuiOperator(QWidget *window, QObject *parent) : QObject(parent), m_window(window) {}

void GuiOperator::attachStatusBar(QStatusBar *bar)
{
    for (int i = 0; i < statusPanelCount; ++i) {
        auto *label = new QLabel(bar);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setMinimumWidth(60);
        label->setText(m_panelTexts[static_cast<std::size_t>(i)]);
        static const char *const hints[statusPanelCount] = {
            "Count of Vork Units discovered", "IP address of connected Vork Unit", "Selected Vork version number",
            "Selected Vork description",      "",                                  "Snap Shot of CPU Idle Percent"};
        label->setToolTip(QString::fromLatin1(hints[i]));
        bar->addPermanentWidget(label, i == 0 || i == 3 ? 1 : 0);
        m_panels[static_cast<std::size_t>(i)] = label;
    }
}

void GuiOperator::log(const QString &message)
{
    const QString line = logLine(message);
    m_lines.append(line);
    Q_EMIT logged(line);
}

void GuiOperator::clearLog()
{
    m_lines.clear();
    Q_EMIT logCleared();
}

void GuiOperator::tone(Tone kind, bool force)
{
    Q_EMIT toneRequested(kind, force);
}

void GuiOperator::message(MessageKind kind, const QString &text)
{
    if (showMessage) {
        showMessage(kind, text);
        return;
    }
    const QString title = m_window ? m_window->windowTitle() : QString();
    const QString shown = displayText(text);
    switch (kind) {
    case MessageKind::Information: QMessageBox::information(m_window, title, shown); break;
    case MessageKind::Warning: QMessageBox::warning(m_window, title, shown); break;
    case MessageKind::Error: QMessageBox::critical(m_window, title, shown); break;
    }
}

Answer GuiOperator::ask(const QString &text)
{
    if (askQuestion)
        return askQuestion(text);
    const QString title = m_window ? m_window->windowTitle() : QString();
    const auto b = QMessageBox::question(m_window, title, displayText(text),
                                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                         QMessageBox::Yes);
    if (b == QMessageBox::Yes)
        return Answer::Yes;
    if (b == QMessageBox::No)
        return Answer::No;
    return Answer::Cancel;
}

Answer GuiOperator::askChoice(const QString &text, Choices choices)
{
    if (choices == Choices::YesNoCancel)
        return ask(text);
    if (askQuestion)
        return askQuestion(text);
    const QString title = m_window ? m_window->windowTitle() : QString();
    const QMessageBox::StandardButton other = choices == Choices::OkAbort ? QMessageBox::Abort : QMessageBox::Cancel;
    QMessageBox box(QMessageBox::Warning, title, displayText(text), QMessageBox::Ok | other, m_window);
    box.setDefaultButton(QMessageBox::Ok);
    box.setEscapeButton(other);
    return box.exec() == QMessageBox::Ok ? Answer::Yes : Answer::Cancel;
}

Answer GuiOperator::askYesNo(const QString &title, const QString &text, bool &dontAskAgain)
{
    if (askQuestion)
        return askQuestion(text);
    QMessageBox box(QMessageBox::Question, title, displayText(text), QMessageBox::Yes | QMessageBox::No, m_window);
    auto *check = new QCheckBox(QStringLiteral("Don't ask again."), &box);
    box.setCheckBox(check);
    const int b = box.exec();
    dontAskAgain = check->isChecked();
    return b == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

bool GuiOperator::input(const QString &caption, const QString &prompt, QString &value)
{
    bool ok = false;
    const QString v = QInputDialog::getText(m_window, caption, displayText(prompt), QLineEdit::Normal, value, &ok);
    if (ok)
        value = v;
    return ok;
}

void GuiOperator::setPanel(int panel, const QString &text)
{
    if (panel < 0 || panel >= statusPanelCount)
        return;
    const auto i = static_cast<std::size_t>(panel);
    m_panelTexts[i] = text;
    if (QLabel *label = m_panels[i]) {
        label->setText(text);
        // A panel widens to its text plus 20 pixels when the text does not fit, but never
        // past its share of the screen: six wide panels would push the window off it.
        const int needed = label->fontMetrics().horizontalAdvance(text) + 20;
        const QScreen *screen = label->screen();
        const int share = screen ? screen->availableGeometry().width() / statusPanelCount - 8 : 160;
        if (label->width() < needed)
            label->setMinimumWidth(qMax(label->minimumWidth(), qMin(needed, qMax(60, share))));
        if (panel == 0)
            label->setStyleSheet(text.contains(QLatin1String("Ret")) ? QStringLiteral("background: yellow;")
                                                                      : QString());
    }
}

void GuiOperator::setPanelHint(int panel, const QString &hint)
{
    if (panel >= 0 && panel < statusPanelCount && m_panels[static_cast<std::size_t>(panel)])
        m_panels[static_cast<std::size_t>(panel)]->setToolTip(hint);
}

QString GuiOperator::panelHint(int panel) const
{
    if (panel < 0 || panel >= statusPanelCount || !m_panels[static_cast<std::size_t>(panel)])
        return {};
    return m_panels[static_cast<std::size_t>(panel)]->toolTip();
}

QString GuiOperator::panel(int panel) const
{
    if (panel < 0 || panel >= statusPanelCount)
        return {};
    return m_panelTexts[static_cast<std::size_t>(panel)];
}

void GuiOperator::setBusy(bool busy)
{
    if (busy) {
        if (m_busy++ == 0)
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (m_busy > 0) {
        if (--m_busy == 0)
            QApplication::restoreOverrideCursor();
    }
}

void GuiOperator::breathe()
{
    QCoreApplication::processEvents();
}

} // namespace vork
