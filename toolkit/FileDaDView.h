// FileDaDView: a view that files and folders can be dropped on. It accepts
// drags that carry URLs, file URLs or file names, keeps a flag while an
// acceptable drag hovers (subclasses draw a highlight from it) and hands every
// file URL of a drop, in order, to proposeDnDFileURLs. GUI thread only.
#pragma once

#include <QList>
#include <QUrl>
#include <QWidget>

class QMimeData;

class FileDaDView : public QWidget
{
    Q_OBJECT
public:
    explicit FileDaDView(QWidget *parent = nullptr);
    ~FileDaDView() override;

    bool hasDragging() const { return _hasDragging; }

    // A drop of these file URLs (at least one); the answer is the drop's result.
    // The base refuses every drop.
    virtual bool proposeDnDFileURLs(const QList<QUrl> &urls);

    // A drag offers a URL list (URLs and file URLs) or file names (lines of
    // absolute paths or file URLs in its text).
    static bool isAcceptableMimeData(const QMimeData *data);
    // Every file URL the data carries, in order: the local-file URLs of its URL
    // list, then the absolute paths of its file-name lines.
    static QList<QUrl> fileURLsOfMimeData(const QMimeData *data);

protected:
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dragLeaveEvent(QDragLeaveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void setHasDragging(bool dragging);

    bool _hasDragging = false;
};
