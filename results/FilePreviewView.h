// The "details" mode of the details pane: the facts of the selected file
// (name, kind, dates, sizes, owner and group) drawn as label/value lines at
// the top, and its preview below them. The facts and the preview are made
// on the preview queue; an answer for a file no longer shown is dropped.
// GUI thread.
#pragma once

#include <QTimer>
#include <QUrl>
#include <QWidget>

#include "results/PreviewRequests.h"

class FilePreviewArea;
class QPainter;

class FilePreviewView : public QWidget
{
    Q_OBJECT
public:
    // The height of the facts block above the preview.
    static constexpr int kFactsHeight = 230;

    explicit FilePreviewView(QWidget *parent = nullptr);

    // Shows url's facts and preview; an empty url shows nothing.
    void reloadWithFileURL(const QUrl &url, bool isRegular);
    QUrl fileURL() const { return m_fileURL; }
    bool isRegular() const { return m_isRegular; }
    bool isLoading() const { return m_loading; }
    int droppedAnswers() const { return m_requests.droppedAnswers(); }
    const FilePreview &preview() const;

    // The value of a fact by name ("displayName", "displayType",
    // "creationDate", "modificationDate", "accessDate", "addedDate", "size",
    // "totalSize", "ownerName", "groupName"); null when it has none.
    QString factValue(const QString &name) const;

    // "%@ (%@ bytes)" for a positive count, "Zero bytes" for zero or less,
    // "--" without one.
    static QString sizeText(std::optional<qint64> bytes);

    // Draws one label/value line whose top is rect's top; the vertical
    // advance, or 0 when the label or value is missing.
    int drawLabel(QPainter &painter, const QString &label, const QString &value, const QRect &rect, int space);

Q_SIGNALS:
    // Facts and preview of the current file are on screen.
    void detailsShown();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    struct Fact {
        QString label;
        QString value;
    };
    enum { DisplayName, DisplayType, CreationDate, ModificationDate, AccessDate, AddedDate, Size, TotalSize,
           OwnerName, GroupName, FactCount };

    QSize previewSize() const;

    FilePreviewArea *m_previewView = nullptr;
    QTimer m_resizeTimer;
    QUrl m_fileURL;
    // The file whose facts and preview are on screen.
    QUrl m_shownURL;
    bool m_isRegular = false;
    Fact m_facts[FactCount];
    PreviewRequests m_requests;
    bool m_loading = false;
};
