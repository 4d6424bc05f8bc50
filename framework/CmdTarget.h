#pragma once
// Command routing: a command id travels the active view, its document, the frame and the
// application; the first target whose OnCmdMsg takes it handles it.
#include "AfxTypes.h"

class CCmdUI {
public:
    bool m_bEnabled = true;
    bool m_bChecked = false;
    bool m_bHandled = false;
    void Enable(bool on = true) {
        m_bEnabled = on;
        m_bHandled = true;
    }
    void SetCheck(bool on = true) {
        m_bChecked = on;
        m_bHandled = true;
    }
};

class CCmdTarget {
public:
    virtual ~CCmdTarget() = default;
    // Runs the handler of nID and returns true, or returns false to pass the command on.
    virtual bool OnCmdMsg(UINT /*nID*/) { return false; }
    // Sets the enabled and checked state of nID's menu entry and button; false passes it on.
    virtual bool OnUpdateCmdUI(UINT /*nID*/, CCmdUI* /*pCmdUI*/) { return false; }
};

// Standard command ids of the framework.
enum : UINT {
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_CLOSE = 57602,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PAGE_SETUP = 57605,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_DIRECT = 57608,
    ID_FILE_PRINT_PREVIEW = 57609,
    ID_FILE_MRU_FILE1 = 57616,
    ID_FILE_MRU_FILE16 = 57631,
    ID_EDIT_CLEAR = 57632,
    ID_EDIT_COPY = 57634,
    ID_EDIT_CUT = 57635,
    ID_EDIT_FIND = 57636,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_REPEAT = 57640,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_UNDO = 57643,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_PREV_PANE = 57681,
    ID_VIEW_TOOLBAR = 59392,
    ID_VIEW_STATUS_BAR = 59393,
    ID_SEPARATOR = 0,
    ID_INDICATOR_CAPS = 59137,
    ID_INDICATOR_NUM = 59138,
    ID_INDICATOR_SCRL = 59139,
    AFX_IDW_TOOLBAR = 59392,
    AFX_IDW_STATUS_BAR = 59393,
    AFX_IDS_IDLEMESSAGE = 57345,
};
