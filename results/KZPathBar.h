// The path bar under the results: one flat button per component of a file
// URL, from the root down; clicking a button reports that component's URL.
// GUI thread.
#pragma once

#include <QUrl>
#include <QWidget>

class QHBoxLayout;
class QToolButton;

class KZPathBar : public QWidget
{
    Q_OBJECT
public:
    explicit KZPathBar(QWidget *parent = nullptr);

    QUrl URL() const { return m_url; }
    // An empty URL empties the bar.
    void setURL(const QUrl &url);
    // The component URLs shown, root first.
    QList<QUrl> componentURLs() const { return m_componentURLs; }
    QToolButton *buttonAt(int index) const;

Q_SIGNALS:
    void componentClicked(const QUrl &url);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QUrl m_url;
    QList<QUrl> m_componentURLs;
    QList<QToolButton *> m_buttons;
    QHBoxLayout *m_layout;
};
