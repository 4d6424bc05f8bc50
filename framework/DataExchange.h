#pragma once
// The data exchange between a dialog's controls and its members: DoDataExchange calls the DDX_
// helpers, which fill the controls (UpdateData(false)) or read them back (UpdateData(true)), and
// the DDV_ helpers, which check what was read.
#include "AfxTypes.h"

#include <QString>

class CDialog;
class CWnd;
class QWidget;

// A failed exchange, thrown by CDataExchange::Fail; UpdateData catches it.
struct CUserException {};

class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
    QWidget* PrepareCtrl(int id);
    [[noreturn]] void Fail();

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    QWidget* m_pLastCtrl = nullptr;
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void DDX_Text(CDataExchange* pDX, int nIDC, QString& value);
void DDX_CBString(CDataExchange* pDX, int nIDC, QString& value);
void DDX_Check(CDataExchange* pDX, int nIDC, BOOL& value);
void DDV_MaxChars(CDataExchange* pDX, const QString& value, int nChars);
