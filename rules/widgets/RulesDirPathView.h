// The folders control of a folders rule, with its widgets: while no folder is
// listed a choose button, otherwise a pull-down button titled with a summary
// of the checked folders whose menu lists every folder with a check mark and
// "Add…". Folders come in through a folder dialog or by dropping them on the
// control. GUI thread only.
#pragma once

#include <QPointer>
#include <QPushButton>

#include "rules/RulesDirPathViewController.h"
#include "toolkit/FileDaDView.h"

class QAction;
#include <QFileDialog>
class QMenu;
class RulesDirPathView;

// What the row of a rules editor asks of a view-controller item: its view.
class KZRuleItem_ViewProvider
{
public:
    virtual ~KZRuleItem_ViewProvider() = default;
    // Made on first use; owned by the controller until a row takes it.
    virtual QWidget *ruleItemView() = 0;
};

// Told of the files dropped on the view.
class RulesDirPathViewDelegatorProtocol
{
public:
    virtual ~RulesDirPathViewDelegatorProtocol() = default;
    virtual bool rulesDirPathViewDidDndFiles(RulesDirPathView *view, const QList<QUrl> &urls) = 0;
};

class RulesDirPathView : public FileDaDView
{
    Q_OBJECT
public:
    explicit RulesDirPathView(QWidget *parent = nullptr);

    // Not owned.
    RulesDirPathViewDelegatorProtocol *vc_delegator() const { return m_vcDelegator; }
    void setVc_delegator(RulesDirPathViewDelegatorProtocol *delegator) { m_vcDelegator = delegator; }

    bool proposeDnDFileURLs(const QList<QUrl> &urls) override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    RulesDirPathViewDelegatorProtocol *m_vcDelegator = nullptr;
};

class RulesDirPathWidgetController : public QObject,
                                     public RulesDirPathViewController,
                                     public RulesDirPathViewDelegatorProtocol,
                                     public KZRuleItem_ViewProvider
{
    Q_OBJECT
public:
    explicit RulesDirPathWidgetController(QObject *parent = nullptr);
    ~RulesDirPathWidgetController() override;

    // The view, loaded on first use (viewDidLoad).
    RulesDirPathView *view();
    bool isViewLoaded() const { return !m_view.isNull(); }
    QPushButton *chooseButton();
    QPushButton *popMenu();
    // The open folder dialog, if any.
    QFileDialog *chooseBox() const { return m_chooseBox; }

    // The menu of the pull-down button, refilled just before it opens.
    void menuNeedsUpdate(QMenu *menu);
    void mi_action(QAction *item);
    void chooseButtonAction();

    void updateUI() override;
    void presentChooseBox() override;

    bool rulesDirPathViewDidDndFiles(RulesDirPathView *view, const QList<QUrl> &urls) override;
    QWidget *ruleItemView() override { return view(); }

    // The settings key under which the folder dialog keeps its frame.
    static QString chooseBoxFrameKey();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void viewDidLoad();

    QPointer<RulesDirPathView> m_view;
    QPointer<QPushButton> m_chooseButton;
    QPointer<QPushButton> m_popMenu;
    QPointer<QFileDialog> m_chooseBox;
};
