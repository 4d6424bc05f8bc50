#include "Document.h"

#include "FileDialog.h"
#include "MessageBox.h"
#include "View.h"
#include "WinApp.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QWidget>
#include <algorithm>

CDocument::CDocument() = default;

CDocument::~CDocument() {
    for (CView* v : m_views)
        v->SetDocument(nullptr);
}

void CDocument::SetTitle(const QString& title) {
    m_strTitle = title;
    emit titleChanged();
}

void CDocument::SetPathName(const QString& path, bool bAddToMRU) {
    m_strPathName = QFileInfo(path).absoluteFilePath();
    SetTitle(QFileInfo(path).fileName());
    if (bAddToMRU && AfxGetApp())
        AfxGetApp()->AddToRecentFileList(m_strPathName);
}

void CDocument::AddView(CView* pView) {
    m_views.push_back(pView);
    pView->SetDocument(this);
}

void CDocument::RemoveView(CView* pView) {
    m_views.erase(std::remove(m_views.begin(), m_views.end(), pView), m_views.end());
}

bool CDocument::OnNewDocument() {
    DeleteContents();
    m_strPathName.clear();
    SetModifiedFlag(false);
    SetTitle(QStringLiteral("Untitled"));
    return true;
}

bool CDocument::OnOpenDocument(const QString& path) {
    m_bOpenCancelled = false;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        AfxMessageBox(QStringLiteral("Failed to open document.\n\n%1").arg(file.errorString()),
                      MB_ICONEXCLAMATION);
        return false;
    }
    try {
        CArchive ar(&file, CArchive::load);
        Serialize(ar);
    } catch (const CArchiveException& e) {
        m_bOpenCancelled = e.bCancelled;
        if (!e.bCancelled)
            AfxMessageBox(e.message, MB_ICONEXCLAMATION);
        return false;
    }
    SetModifiedFlag(false);
    return true;
}

bool CDocument::OnSaveDocument(const QString& path) {
    // Written beside the target and moved over it only when complete, so a failure part-way
    // leaves the previous file as it was.
    QSaveFile file(path);
    QString error;
    if (file.open(QIODevice::WriteOnly)) {
        try {
            CArchive ar(&file, CArchive::store);
            Serialize(ar);
            if (file.commit()) {
                SetModifiedFlag(false);
                return true;
            }
        } catch (const CArchiveException& e) {
            error = e.message;
        }
    }
    if (error.isEmpty())
        error = file.errorString();
    file.cancelWriting();
    AfxMessageBox(QStringLiteral("Failed to save document.\n\n%1").arg(error), MB_ICONEXCLAMATION);
    return false;
}

bool CDocument::SaveModified() {
    if (!IsModified())
        return true;
    const QString name = m_strPathName.isEmpty() ? m_strTitle : QFileInfo(m_strPathName).fileName();
    switch (AfxMessageBox(QStringLiteral("Save changes to %1?").arg(name), MB_YESNOCANCEL)) {
    case IDCANCEL:
        return false;
    case IDYES:
        return DoFileSave();
    default:
        return true;
    }
}

bool CDocument::DoFileSave() {
    if (m_strPathName.isEmpty() || !QFileInfo(m_strPathName).isWritable())
        return DoSave(QString());
    return DoSave(m_strPathName);
}

bool CDocument::DoSave(const QString& path, bool bReplace) {
    QString target = path;
    if (target.isEmpty()) {
        QWidget* parent = GetFirstView() ? GetFirstView()->GetWidget()->window() : nullptr;
        target = CFileDialogHook::GetSaveFileName(parent, m_strPathName.isEmpty() ? m_strTitle
                                                                                  : m_strPathName);
        if (target.isEmpty())
            return false;
    }
    if (!OnSaveDocument(target))
        return false;
    if (bReplace)
        SetPathName(target);
    return true;
}

bool CDocument::OnCmdMsg(UINT nID) {
    switch (nID) {
    case ID_FILE_SAVE:
        DoFileSave();
        return true;
    case ID_FILE_SAVE_AS:
        DoSave(QString());
        return true;
    default:
        return false;
    }
}
