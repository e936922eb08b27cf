// "Skip folders named": the folder names every search skips, each with a
// check box that turns it on or off, a field to add one and a button to remove
// the selected ones. Every change goes to the scope manager at once, which
// stores it; a refused name (empty, a path, "." or "..", listed already) is
// explained under the field and nothing changes. GUI thread only.
#pragma once

#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

class SkipNamesListView : public QWidget
{
    Q_OBJECT
public:
    explicit SkipNamesListView(QWidget *parent = nullptr);

    // Lists the names as the scope manager holds them now.
    void reload();
    // Adds name, checked; false, with the reason shown, when it is refused.
    bool addName(const QString &name);
    void removeSelectedNames();

    QListWidget *listWidget() const { return m_list; }
    QLineEdit *nameField() const { return m_field; }
    QPushButton *addButton() const { return m_add; }
    QPushButton *removeButton() const { return m_remove; }
    QLabel *errorLabel() const { return m_error; }

signals:
    // After every stored change.
    void namesChanged();

private:
    void itemChanged(QListWidgetItem *item);
    void updateButtons();
    // Shows why a change was not stored, or tells of the one that was.
    void showChange(bool changed, const QString &error);

    QListWidget *m_list = nullptr;
    QLineEdit *m_field = nullptr;
    QPushButton *m_add = nullptr;
    QPushButton *m_remove = nullptr;
    QLabel *m_error = nullptr;
    bool m_reloading = false;
};
