#include "WinApp.h"

#include "DocTemplate.h"
#include "Document.h"
#include "FrameWnd.h"
#include "MessageBox.h"
#include "Profile.h"

#include <QApplication>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>

namespace {
CWinApp*& theApp() {
    static CWinApp* app = nullptr;
    return app;
}
const QString kRecentSection = QStringLiteral("Recent File List");
const QString kSettingsSection = QStringLiteral("Settings");
} // namespace

CWinApp* AfxGetApp() {
    return theApp();
}

CWinApp::CWinApp() {
    theApp() = this;
}

CWinApp::~CWinApp() {
    if (m_pTemplate)
        m_pTemplate->CloseAllDocuments();
    if (theApp() == this)
        theApp() = nullptr;
}

int CWinApp::Run() {
    const int status = QApplication::exec();
    SaveStdProfileSettings();
    return status;
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate) {
    m_pTemplate = std::move(pTemplate);
}

CFrameWnd* CWinApp::GetMainWnd() const {
    return m_pTemplate ? m_pTemplate->GetFrame() : nullptr;
}

void CWinApp::LoadStdProfileSettings(int nMaxMRU) {
    m_nMaxMRU = nMaxMRU;
    m_recentFiles.clear();
    for (int i = 1; i <= nMaxMRU; ++i) {
        const QString path = GetProfileString(kRecentSection, QStringLiteral("File%1").arg(i));
        if (!path.isEmpty())
            m_recentFiles.append(path);
    }
    m_nPreviewPages = GetProfileInt(kSettingsSection, QStringLiteral("PreviewPages"), 1);
    if (m_nPreviewPages < 1 || m_nPreviewPages > 2)
        m_nPreviewPages = 1;
    emit recentFilesChanged();
}

void CWinApp::SaveStdProfileSettings() {
    if (m_nMaxMRU > 0) {
        for (int i = 1; i <= m_nMaxMRU; ++i) {
            const QString entry = QStringLiteral("File%1").arg(i);
            if (i <= m_recentFiles.size())
                WriteProfileString(kRecentSection, entry, m_recentFiles.at(i - 1));
        }
    }
    WriteProfileInt(kSettingsSection, QStringLiteral("PreviewPages"), m_nPreviewPages);
}

void CWinApp::AddToRecentFileList(const QString& path) {
    if (m_nMaxMRU <= 0 || path.isEmpty())
        return;
    const QString full = QFileInfo(path).absoluteFilePath();
    for (qsizetype i = 0; i < m_recentFiles.size(); ++i)
        if (QFileInfo(m_recentFiles.at(i)).absoluteFilePath() == full)
            m_recentFiles.removeAt(i--);
    m_recentFiles.prepend(full);
    while (m_recentFiles.size() > m_nMaxMRU)
        m_recentFiles.removeLast();
    emit recentFilesChanged();
}

QPrinter* CWinApp::GetPrinter() {
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QPrinter>(QPrinter::HighResolution);
    return m_pPrinter.get();
}

void CWinApp::OnFileNew() {
    if (m_pTemplate)
        m_pTemplate->OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen() {
    const QString path = CFileDialogHook::GetOpenFileName(GetMainWnd());
    if (!path.isEmpty())
        OpenDocumentFile(path);
}

bool CWinApp::OpenDocumentFile(const QString& path) {
    return m_pTemplate && m_pTemplate->OpenDocumentFile(path) != nullptr;
}

void CWinApp::OnFilePrintSetup() {
    QPageSetupDialog dialog(GetPrinter(), GetMainWnd());
    dialog.exec();
}

bool CWinApp::OnCmdMsg(UINT nID) {
    if (nID >= ID_FILE_MRU_FILE1 && nID <= ID_FILE_MRU_FILE16) {
        const int index = int(nID - ID_FILE_MRU_FILE1);
        if (index < m_recentFiles.size()) {
            const QString path = m_recentFiles.at(index);
            if (!OpenDocumentFile(path)) {
                m_recentFiles.removeAt(index); // a file that cannot be opened leaves the list
                emit recentFilesChanged();
            }
        }
        return true;
    }
    if (nID == ID_APP_EXIT) {
        if (CFrameWnd* frame = GetMainWnd())
            frame->close();
        return true;
    }
    return false;
}
