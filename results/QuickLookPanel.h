// The preview window that Space toggles over a results list: one file at a
// time (image, text, first PDF page, or a large icon with the file's facts),
// following the list's single selection while it is open. Decoding runs on
// the preview queue; an answer for an item that is no longer shown is dropped.
// GUI thread.
#pragma once

#include <QImage>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <optional>

#include "results/PreviewRequests.h"
#include "results/KZQLPreviewItemCoquille.h"
#include "results/ResultsListViewController.h"

class QLabel;
class QPlainTextEdit;
class QStackedWidget;

// Paints an image centred, scaled down to fit, never enlarged.
class FilePreviewImageView : public QWidget
{
    Q_OBJECT
public:
    using QWidget::QWidget;
    void setImage(const QImage &image);
    const QImage &image() const { return m_image; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_image;
};

class QuickLookPanel : public QWidget, public ResultsListQuickLookPanel
{
    Q_OBJECT
public:
    // The one panel of the process, made on first use, deleted with the application.
    static QuickLookPanel *sharedPanel();

    // ResultsListQuickLookPanel
    bool isVisible() const override { return QWidget::isVisible(); }
    void close() override;
    // The list becomes the source; the panel shows its item and comes to the front.
    void showForController(ResultsListViewController *controller) override;
    void reloadWithURL(const QUrl &url) override;

    // The items of a list: one when exactly one row is selected.
    static int numberOfPreviewItems(const ResultsListViewController *controller);
    static std::optional<KZQLPreviewItemCoquille> previewItemAtIndex(const ResultsListViewController *controller,
                                                                     int index);

    ResultsListViewController *dataSource() const { return m_source; }
    QUrl previewURL() const { return m_url; }
    // The preview on screen, and whether one is on its way.
    const FilePreview &preview() const { return m_preview; }
    bool isLoading() const { return m_loading; }
    // Answers that came after their item was replaced (or the panel closed).
    int droppedAnswers() const { return m_requests.droppedAnswers(); }

Q_SIGNALS:
    // A preview was put on screen.
    void previewShown();

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QuickLookPanel();
    void request(const QUrl &url);
    void apply(const FilePreview &preview);
    QSize renderSize() const;

    QPointer<ResultsListViewController> m_source;
    QPointer<QWidget> m_sourceView;
    QStackedWidget *m_stack = nullptr;
    QLabel *m_empty = nullptr;
    FilePreviewImageView *m_imageView = nullptr;
    QPlainTextEdit *m_textView = nullptr;
    QWidget *m_iconPage = nullptr;
    QLabel *m_icon = nullptr;
    QLabel *m_name = nullptr;
    QLabel *m_facts = nullptr;
    QTimer m_resizeTimer;
    QUrl m_url;
    FilePreview m_preview;
    PreviewRequests m_requests;
    bool m_loading = false;
};
