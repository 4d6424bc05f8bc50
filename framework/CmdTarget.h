#pragma once
// Command routing: a command id travels the active view, its document, the frame and the
// application; the first target whose OnCmdMsg takes it handles it.
#include "WinDef.h"

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
