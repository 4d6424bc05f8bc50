#include "CommandTable.h"

#include "Resource.h"
#include "TidemarkView.h"

#include <algorithm>

namespace {
constexpr char kFile[] = "&File";
constexpr char kEdit[] = "&Edit";
constexpr char kView[] = "&View";
constexpr char kHelp[] = "&Help";

// clang-format off
constexpr CCommandEntry kCommands[] = {
    // id, name, menu, menu text, keys, prompt, toolbar slot, separator before
    {ID_FILE_NEW, "ID_FILE_NEW", kFile, "&New\tCtrl+N", "Ctrl+N",
     "Create a new document\nNew", 1, false},
    {ID_FILE_OPEN, "ID_FILE_OPEN", kFile, "&Open...\tCtrl+O", "Ctrl+O",
     "Open an existing document\nOpen", 2, false},
    {ID_FILE_SESSION_LOGS, "ID_FILE_SESSION_LOGS", kFile, "Session &Logs...", nullptr,
     "Open the log of an earlier session\nSession Logs", 0, false},
    {ID_FILE_SAVE, "ID_FILE_SAVE", kFile, "&Save\tCtrl+S", "Ctrl+S",
     "Save the active document\nSave", 3, false},
    {ID_FILE_SAVE_AS, "ID_FILE_SAVE_AS", kFile, "Save &As...", nullptr,
     "Save the active document with a new name\nSave As", 0, false},
    {ID_FILE_PRINT, "ID_FILE_PRINT", kFile, "&Print...\tCtrl+P", "Ctrl+P",
     "Print the active document\nPrint", 13, true},
    {ID_FILE_PRINT_DIRECT, "ID_FILE_PRINT_DIRECT", nullptr, nullptr, nullptr, nullptr, 0, false},
    {ID_FILE_PRINT_PREVIEW, "ID_FILE_PRINT_PREVIEW", kFile, "Print Pre&view", nullptr,
     "Display full pages\nPrint Preview", 0, false},
    {ID_FILE_PRINT_SETUP, "ID_FILE_PRINT_SETUP", kFile, "P&rint Setup...", nullptr,
     "Change the printer and printing options\nPrint Setup", 0, false},
    {ID_FILE_MRU_FILE1, "ID_FILE_MRU_FILE1", kFile, "Recent File", nullptr,
     "Open this document", 0, true},
    {ID_APP_EXIT, "ID_APP_EXIT", kFile, "E&xit", nullptr,
     "Quit the application; prompts to save documents\nExit", 0, true},
    {ID_EDIT_UNDO, "ID_EDIT_UNDO", kEdit, "&Undo\tCtrl+Z", "Ctrl+Z; Alt+Backspace",
     "Undo the last action\nUndo", 0, false},
    {ID_EDIT_CUT, "ID_EDIT_CUT", kEdit, "Cu&t\tCtrl+X", "Ctrl+X; Shift+Del",
     "Cut the selection and put it on the Clipboard\nCut", 9, true},
    {ID_EDIT_COPY, "ID_EDIT_COPY", kEdit, "&Copy\tCtrl+C", "Ctrl+C; Ctrl+Ins",
     "Copy the selection and put it on the Clipboard\nCopy", 10, false},
    {ID_EDIT_PASTE, "ID_EDIT_PASTE", kEdit, "&Paste\tCtrl+V", "Ctrl+V; Shift+Ins",
     "Insert Clipboard contents\nPaste", 11, false},
    {ID_EDIT_FIND, "ID_EDIT_FIND", kEdit, "&Find...\tCtrl+F", "Ctrl+F",
     "Find the specified text\nFind", 0, true},
    {ID_EDIT_REPEAT, "ID_EDIT_REPEAT", kEdit, "Find &Next\tF3", "F3",
     "Find the next occurrence of the text\nFind Next", 0, false},
    {ID_VIEW_TOOLBAR, "ID_VIEW_TOOLBAR", kView, "&Toolbar", nullptr,
     "Show or hide the toolbar\nToggle ToolBar", 0, false},
    {ID_VIEW_STATUS_BAR, "ID_VIEW_STATUS_BAR", kView, "&Status Bar", nullptr,
     "Show or hide the status bar\nToggle StatusBar", 0, false},
    {ID_VIEW_FOLLOW, "ID_VIEW_FOLLOW", kView, "&Follow New Messages", nullptr,
     "Keep the end of the log in view as messages arrive\nFollow New Messages", 0, true},
    {ID_VIEW_RECEIPT_TIMES, "ID_VIEW_RECEIPT_TIMES", kView, "&Receipt Times", nullptr,
     "Show the time each received line arrived\nReceipt Times", 0, false},
    {ID_VIEW_HIGHLIGHTS, "ID_VIEW_HIGHLIGHTS", kView, "&Highlight Rules...", nullptr,
     "Choose which lines of the log stand out in colour\nHighlight Rules", 0, false},
    {ID_APP_ABOUT, "ID_APP_ABOUT", kHelp, "&About Tidemark...", nullptr,
     "Display program information, version number and copyright\nAbout", 14, false},
    {ID_DEBUG_START, "ID_DEBUG_START", nullptr, "Start", nullptr,
     "Start receiving messages from the pipe\nStart", 5, false},
    {ID_DEBUG_OPTIONS, "ID_DEBUG_OPTIONS", nullptr, "Options", nullptr,
     "Set the debugging options\nOptions", 6, false},
    {ID_DEBUG_PURGE, "ID_DEBUG_PURGE", nullptr, "Purge Pipe", nullptr,
     "Purge all messages from the current pipe.\nPurge Pipe", 7, false},
    {ID_NEXT_PANE, "ID_NEXT_PANE", nullptr, nullptr, "F6",
     "Switch to the next window pane\nNext Pane", 0, false},
    {ID_PREV_PANE, "ID_PREV_PANE", nullptr, nullptr, "Shift+F6",
     "Switch back to the previous window pane\nPrevious Pane", 0, false},
};
// clang-format on
} // namespace

std::span<const CCommandEntry> TidemarkCommandTable() {
    return kCommands;
}

std::vector<UINT> TidemarkToolbarItems() {
    int last = 0;
    for (const CCommandEntry& c : kCommands)
        last = std::max(last, c.toolbarSlot);
    std::vector<UINT> items(static_cast<std::size_t>(last), ID_SEPARATOR);
    for (const CCommandEntry& c : kCommands)
        if (c.toolbarSlot > 0)
            items[std::size_t(c.toolbarSlot - 1)] = c.nID;
    return items;
}
