#include "tools/ui/telnetconsolewindow.h"

#include "core/operator.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

namespace vork {

TelnetConsoleWindow::TelnetConsoleWindow(TelnetConsole &console, QWidget *parent)
    : QWidget(parent, Qt::Window), m_console(console)
{
    setObjectName(QStringLiteral("TelnetWindow"));
    setWindowTitle(TelnetConsole::caption(console.host()));
    m_text = new QPlainTextEdit(this);
    m_text->setReadOnly(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_text->setTabStopDistance(tabStopPixels);
    m_text->setFont(QFont(QStringLiteral("Monospace")));
    QPalette pal = m_text->palette();
    pal.setColor(QPalette::Base, Qt::black);
    pal.setColor(QPalette::Text, QColor(192, 192, 192));
    m_text->setPalette(pal);
    m_text->installEventFilter(this);
    setFocusProxy(m_text);

    m_status = new QStatusBar(this);
    m_status->setSizeGripEnabled(false);
    for (int i = 0; i < TelnetConsole::panelCount; ++i) {
        auto *label = new QLabel(console.panel(i), m_status);
        m_panels.at(static_cast<std::size_t>(i)) = label;
        m_status->addWidget(label, i == TelnetConsole::StatusPanel ? 1 : 0);
    }

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_text);
    layout->addWidget(m_status);
    resize(640, 420);

    connect(&console, &TelnetConsole::textChanged, this, &TelnetConsoleWindow::redraw);
    connect(&console, &TelnetConsole::panelChanged, this,
            [this](int index, const QString &text) { panelLabel(index)->setText(text); });
    // Queued: the model may ask while the window is already on its way out.
    connect(&console, &TelnetConsole::closeRequested, this, &QWidget::close, Qt::QueuedConnection);
    redraw();
}

QChar TelnetConsoleWindow::keyCharacter(int key, const QString &text)
{
    switch (key) {
    case Qt::Key_Return:
    case Qt::Key_Enter: return QChar(u'\r');
    case Qt::Key_Backspace: return QChar(u'\b');
    case Qt::Key_Tab: return QChar(u'\t');
    default: break;
    }
    if (text.size() == 1 && text.at(0).unicode() <= 0xFF)
        return text.at(0);
    return {};
}

bool TelnetConsoleWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_text && event->type() == QEvent::KeyPress) {
        auto *key = static_cast<QKeyEvent *>(event);
        const QChar c = keyCharacter(key->key(), key->text());
        if (c.isNull())
            return false; // scrolling and selection keys stay local
        m_console.keyPressed(c);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TelnetConsoleWindow::redraw()
{
    setWindowTitle(TelnetConsole::caption(m_console.host()));
    m_text->setPlainText(m_console.lines().join(QLatin1Char('\n')));
    m_text->moveCursor(QTextCursor::End);
    m_text->verticalScrollBar()->setValue(m_text->verticalScrollBar()->maximum());
}

void TelnetConsoleWindow::closeEvent(QCloseEvent *event)
{
    m_console.windowClosing();
    event->accept();
}

TelnetTools::TelnetTools(Operator &op, std::function<bool()> useSystemTelnet, QWidget *windowParent)
    : QObject(windowParent), m_op(op), m_useSystemTelnet(std::move(useSystemTelnet)),
      m_windowParent(windowParent), m_console(op)
{
}

TelnetTools::~TelnetTools()
{
    delete m_window.data();
}

void TelnetTools::openTelnet(const QString &ip, quint16 port)
{
    if (m_useSystemTelnet && m_useSystemTelnet()) {
        startSystemTelnet(m_op, ip, m_find);
        return;
    }
    if (!m_window)
        m_window = new TelnetConsoleWindow(m_console, m_windowParent);
    m_console.open(ip, port);
    m_window->setWindowTitle(TelnetConsole::caption(ip));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    m_window->textArea()->setFocus(Qt::OtherFocusReason);
}

} // namespace vork
