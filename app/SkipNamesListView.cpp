#include "app/SkipNamesListView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "scope/ScopeDirManager.h"

SkipNamesListView::SkipNamesListView(QWidget *parent) : QWidget(parent)
{
    auto *title = new QLabel(tr("Skip folders named:"), this);
    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("skip-names-list"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_field = new QLineEdit(this);
    m_field->setObjectName(QStringLiteral("skip-name-field"));
    m_field->setPlaceholderText(tr("Folder name, e.g. node_modules"));
    m_field->setClearButtonEnabled(true);
    m_add = new QPushButton(tr("Add"), this);
    m_remove = new QPushButton(tr("Remove"), this);
    m_error = new QLabel(this);
    m_error->setObjectName(QStringLiteral("skip-name-error"));
    m_error->setWordWrap(true);
    m_error->hide();

    auto *row = new QHBoxLayout;
    row->addWidget(m_field, 1);
    row->addWidget(m_add);
    row->addWidget(m_remove);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(title);
    layout->addWidget(m_list, 1);
    layout->addLayout(row);
    layout->addWidget(m_error);

    connect(m_add, &QPushButton::clicked, this, [this] {
        if (addName(m_field->text()))
            m_field->clear();
    });
    connect(m_field, &QLineEdit::returnPressed, m_add, &QPushButton::click);
    connect(m_field, &QLineEdit::textEdited, m_error, &QLabel::hide);
    connect(m_remove, &QPushButton::clicked, this, &SkipNamesListView::removeSelectedNames);
    connect(m_list, &QListWidget::itemChanged, this, &SkipNamesListView::itemChanged);
    connect(m_list, &QListWidget::itemSelectionChanged, this, &SkipNamesListView::updateButtons);
    reload();
}

void SkipNamesListView::reload()
{
    m_reloading = true;
    m_list->clear();
    for (const QVariant &entry : ScopeDirManager::sharedInstance()->excludedNames()) {
        const QVariantMap map = entry.toMap();
        auto *item = new QListWidgetItem(map.value(QStringLiteral("name")).toString(), m_list);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(map.value(QStringLiteral("state")).toBool() ? Qt::Checked : Qt::Unchecked);
    }
    m_reloading = false;
    updateButtons();
}

bool SkipNamesListView::addName(const QString &name)
{
    QString error;
    const bool added = ScopeDirManager::sharedInstance()->addExcludedName(name, &error);
    m_error->setText(error);
    m_error->setVisible(!added);
    reload();
    if (added)
        emit namesChanged();
    return added;
}

void SkipNamesListView::removeSelectedNames()
{
    const QList<QListWidgetItem *> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return;
    QStringList names;
    for (const QListWidgetItem *item : selected)
        names.append(item->text());
    QString error;
    showChange(ScopeDirManager::sharedInstance()->removeExcludedNames(names, &error), error);
    reload();
}

void SkipNamesListView::itemChanged(QListWidgetItem *item)
{
    if (m_reloading)
        return;
    QString error;
    const bool changed = ScopeDirManager::sharedInstance()->setStateOfExcludedName(item->checkState() == Qt::Checked,
                                                                                   item->text(), &error);
    showChange(changed, error);
    // A check that could not be stored is undone, once the list is done
    // telling of this one.
    if (!changed)
        QMetaObject::invokeMethod(this, &SkipNamesListView::reload, Qt::QueuedConnection);
}

void SkipNamesListView::showChange(bool changed, const QString &error)
{
    m_error->setText(error);
    m_error->setVisible(!changed);
    if (changed)
        emit namesChanged();
}

void SkipNamesListView::updateButtons()
{
    m_remove->setEnabled(!m_list->selectedItems().isEmpty());
}
