#include "results/KZPathBar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QToolButton>

#include "results/Functions.h"
#include "results/KZFinderFileIcon.h"

KZPathBar::KZPathBar(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QHBoxLayout(this))
{
    setObjectName(QStringLiteral("mPathControl"));
    m_layout->setContentsMargins(4, 1, 4, 1);
    m_layout->setSpacing(0);
    m_layout->addStretch(1);
    setFixedHeight(24);
}

QToolButton *KZPathBar::buttonAt(int index) const
{
    return index >= 0 && index < m_buttons.size() ? m_buttons.at(index) : nullptr;
}

void KZPathBar::setURL(const QUrl &url)
{
    if (url == m_url)
        return;
    m_url = url;
    m_componentURLs.clear();
    m_buttons.clear();
    while (QLayoutItem *item = m_layout->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (url.isLocalFile()) {
        QString path = url.toLocalFile();
        if (path.size() > 1 && path.endsWith(QLatin1Char('/')))
            path.chop(1);
        QStringList parts = path.split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString sofar;
        m_componentURLs.append(QUrl::fromLocalFile(QStringLiteral("/")));
        for (const QString &part : parts) {
            sofar += QLatin1Char('/') + part;
            m_componentURLs.append(QUrl::fromLocalFile(sofar));
        }
        for (int i = 0; i < m_componentURLs.size(); ++i) {
            const QUrl componentURL = m_componentURLs.at(i);
            const QString componentPath = componentURL.toLocalFile();
            if (i > 0) {
                auto *sep = new QLabel(QStringLiteral("\u203A"), this);
                sep->setContentsMargins(2, 0, 2, 0);
                m_layout->addWidget(sep);
            }
            auto *button = new QToolButton(this);
            button->setAutoRaise(true);
            button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
            button->setText(i == 0 ? QStringLiteral("/") : parts.at(i - 1));
            button->setIcon(KZFinderFileIcon::iconForFileAtPathWithSize(componentPath, 16));
            button->setIconSize(QSize(16, 16));
            button->setToolTip(componentPath);
            connect(button, &QToolButton::clicked, this, [this, componentURL] { Q_EMIT componentClicked(componentURL); });
            m_layout->addWidget(button);
            m_buttons.append(button);
        }
    }
    m_layout->addStretch(1);
}

void KZPathBar::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), Functions::viewBgColor());
}
