#pragma once

#include <QTabWidget>

#include <functional>

namespace vork {

// A tab widget whose page changes can be refused before they happen: every
// change by mouse, wheel or keyboard goes through the request first.
class PageControl : public QTabWidget
{
    Q_OBJECT
public:
    using Request = std::function<bool(int from, int to)>;

    explicit PageControl(QWidget *parent = nullptr);

    void setRequest(Request request) { m_request = std::move(request); }
    // A change by the program: asks the same question as the operator's.
    bool requestPage(int index);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    bool allowed(int to);
    // The page an arrow, Home or End key on the tab bar asks for; -1 none, -2 not such a key.
    int keyTarget(int key) const;
    Request m_request;
};

} // namespace vork
