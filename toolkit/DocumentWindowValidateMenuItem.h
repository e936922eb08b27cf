// What a view that acts on results answers for the search window's File menu:
// the window hands the menu's commands to its focused widget when that widget
// implements this. Actions are told apart by their objectName
// ("mi_file_open", "mi_file_showInFinder", "mi_file_displayFinderInfo",
// "mi_edit_copyPath"; the results list also takes "mi_view_details" and
// "mi_view_column" straight from the View menu).
#pragma once

class QAction;

class DocumentWindowValidateMenuItem
{
public:
    virtual ~DocumentWindowValidateMenuItem() = default;
    virtual bool documentWindowValidateMenuItem(QAction *item) = 0;
    virtual void documentWindowPerformMenuItem(QAction *item) = 0;
};
