// The search window's own classes: the window (collapsed or expanded), the
// search field whose Escape goes to the controller, the search bar's
// background and the drop zone of the drag-and-drop assistant. GUI thread.
#pragma once

#include <QLineEdit>
#include <QMainWindow>
#include <QUrl>
#include <QWidget>

#include "toolkit/FileDaDView.h"

class DocumentWindowController;

class DocumentWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit DocumentWindow(DocumentWindowController *controller);

    // True while the window is collapsed to its search bar (spelled so).
    bool isToogle() const { return m_isToogle; }
    void setIsToogle(bool toogle) { m_isToogle = toogle; }
    DocumentWindowController *controller() const { return m_controller; }
    // Moves the window, and shrinks it when it is larger, so that its frame
    // lies inside the available area of the screen that holds its centre.
    void keepInsideScreen();

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    DocumentWindowController *m_controller;
    bool m_isToogle = false;
};

// A borderless field; Escape, Return and Down are handed to the controller.
// Its tooltip tells the patterns the search understands.
class SearchTextField : public QLineEdit
{
    Q_OBJECT
public:
    explicit SearchTextField(QWidget *parent = nullptr);

Q_SIGNALS:
    void cancelOperation();
    void insertNewline();
    void moveDown();

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The search bar: a 1-pixel separator line along its bottom edge.
class SearchBarBgView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    static QColor separatorColor() { return QColor(214, 214, 214); }

Q_SIGNALS:
    void resized();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
};

// The drop zone of the assistant: a rounded dashed frame that turns solid
// while an acceptable drag hovers; the first file dropped goes to the window.
class AssistantDaDView : public FileDaDView
{
    Q_OBJECT
public:
    explicit AssistantDaDView(QWidget *parent = nullptr);

    DocumentWindowController *delegatorController() const { return m_delegatorController; }
    void setDelegatorController(DocumentWindowController *controller) { m_delegatorController = controller; }
    bool proposeDnDFileURLs(const QList<QUrl> &urls) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    DocumentWindowController *m_delegatorController = nullptr;
};
