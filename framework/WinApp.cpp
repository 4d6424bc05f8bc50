#include "WinApp.h"

#include "DocTemplate.h"
#include "Document.h"
#include "FileDialog.h"
#include "FrameWnd.h"
#include "MessageBox.h"
#include "Profile.h"

#include <QApplication>
#include <QFileInfo>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QSettings>
#include <Qsci/qsciprinter.h>

namespace {
CWinApp*& theApp() {
    static CWinApp* app = nullptr;
    return app;
}
const QString kRecentSection = QStringLiteral("Recent File List");
const QString kSettingsSection = QStringLiteral("Settings");

bool ProfileIsEmpty() {
    const QSettings profile(QSettings::NativeFormat, QSettings::UserScope,
                            QCoreApplication::organizationName(),
                            QCoreApplication::applicationName());
    return profile.allKeys().isEmpty();
}
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
    const int exitStatus = ExitInstance();
    return status != 0 ? status : exitStatus;
}

int CWinApp::ExitInstance() {
    if (m_nLastShellCommand != CCommandLineInfo::AppUnregister)
        SaveStdProfileSettings();
    return m_nExitCode;
}

void CCommandLineInfo::ParseParam(const QString& param, bool bFlag, bool bLast) {
    if (bFlag) {
        const QString flag = param.toLower();
        if (flag == QLatin1String("p")) {
            m_nShellCommand = FilePrint;
        } else if (flag == QLatin1String("pt")) {
            m_nShellCommand = FilePrintTo;
        } else if (flag == QLatin1String("dde")) {
            m_nShellCommand = FileDDE;
        } else if (flag == QLatin1String("unregister") || flag == QLatin1String("unregserver")) {
            m_nShellCommand = AppUnregister;
        } else if (flag == QLatin1String("register") || flag == QLatin1String("regserver")) {
            m_nShellCommand = AppRegister;
        } else if (flag == QLatin1String("embedding")) {
            m_bRunEmbedded = true;
            m_bShowSplash = false;
        } else if (flag == QLatin1String("automation")) {
            m_bRunAutomated = true;
            m_bShowSplash = false;
        }
    } else if (m_strFileName.isEmpty()) {
        m_strFileName = param;
    } else if (m_nShellCommand == FilePrintTo && m_strPrinterName.isEmpty()) {
        m_strPrinterName = param;
    } else if (m_nShellCommand == FilePrintTo && m_strDriverName.isEmpty()) {
        m_strDriverName = param;
    } else if (m_nShellCommand == FilePrintTo && m_strPortName.isEmpty()) {
        m_strPortName = param;
    }
    if (bLast && m_nShellCommand == FileNew && !m_strFileName.isEmpty())
        m_nShellCommand = FileOpen;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo) {
    ParseCommandLine(rCmdInfo,
                     m_bCommandLineSet ? m_commandLine : QCoreApplication::arguments().mid(1));
}

void CWinApp::ParseCommandLine(CCommandLineInfo& rCmdInfo, const QStringList& args) {
    static const QStringList slashSwitches = {
        QStringLiteral("p"),          QStringLiteral("pt"),          QStringLiteral("dde"),
        QStringLiteral("unregister"), QStringLiteral("unregserver"), QStringLiteral("register"),
        QStringLiteral("regserver"),  QStringLiteral("embedding"),   QStringLiteral("automation")};
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool last = i + 1 == args.size();
        const bool dash = arg.size() > 1 && arg.startsWith(QLatin1Char('-'));
        const bool slash = arg.size() > 1 && arg.startsWith(QLatin1Char('/')) &&
                           slashSwitches.contains(arg.mid(1).toLower());
        if (dash || slash)
            rCmdInfo.ParseParam(arg.mid(1), true, last);
        else
            rCmdInfo.ParseParam(arg, false, last);
    }
    if (args.isEmpty())
        rCmdInfo.ParseParam(QString(), true, true); // no argument: a new document
}

bool CWinApp::ProcessShellCommand(CCommandLineInfo& rCmdInfo) {
    m_nLastShellCommand = rCmdInfo.m_nShellCommand;
    switch (rCmdInfo.m_nShellCommand) {
    // A command that fails ends the program with status 1, so that a script that opens or
    // prints a file can tell; Cancel in the log-on is the user's choice and ends with 0.
    case CCommandLineInfo::FileOpen: {
        const bool opened = OpenDocumentFile(rCmdInfo.m_strFileName);
        if (!opened)
            m_nExitCode = 1;
        return opened;
    }

    case CCommandLineInfo::FilePrint:
    case CCommandLineInfo::FilePrintTo: {
        if (!m_pTemplate || rCmdInfo.m_strFileName.isEmpty() ||
            !m_pTemplate->OpenDocumentFile(rCmdInfo.m_strFileName, false)) {
            m_nExitCode = 1;
            return false;
        }
        if (rCmdInfo.m_nShellCommand == CCommandLineInfo::FilePrintTo &&
            !rCmdInfo.m_strPrinterName.isEmpty())
            GetPrinter()->setPrinterName(rCmdInfo.m_strPrinterName);
        if (CFrameWnd* frame = GetMainWnd()) {
            frame->RouteCommand(ID_FILE_PRINT_DIRECT);
            frame->close();
        }
        return false; // printed: the program ends
    }

    case CCommandLineInfo::AppUnregister: {
        DeleteProfile();
        const bool removed = ProfileIsEmpty();
        m_nExitCode = removed ? 0 : 1;
        AfxMessageBox(removed ? QStringLiteral("System registry entries have been removed and the "
                                               "INI file (if any) was deleted.")
                              : QStringLiteral("Not all of the system registry entries (or INI "
                                               "file) were removed."));
        return false;
    }

    default: // a new document; the other switches have no effect here
        if (!OnCmdMsg(ID_FILE_NEW))
            OnFileNew();
        return GetMainWnd() != nullptr;
    }
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
        if (!path.isEmpty() && !m_recentFiles.contains(path))
            m_recentFiles.append(path);
    }
    m_nPreviewPages = GetProfileInt(kSettingsSection, QStringLiteral("PreviewPages"), 1);
    if (m_nPreviewPages < 1 || m_nPreviewPages > 2)
        m_nPreviewPages = 1;
    emit recentFilesChanged();
}

void CWinApp::SaveStdProfileSettings() {
    if (m_nMaxMRU > 0) {
        // Entries beyond the list are emptied: a file that left the list must not come back.
        for (int i = 1; i <= m_nMaxMRU; ++i)
            WriteProfileString(kRecentSection, QStringLiteral("File%1").arg(i),
                               i <= m_recentFiles.size() ? m_recentFiles.at(i - 1) : QString());
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
    // The edit view's printing lays pages out on a printer of the editor's own.
    if (!m_pPrinter)
        m_pPrinter = std::make_unique<QsciPrinter>(QPrinter::HighResolution);
    return m_pPrinter.get();
}

void CWinApp::OnFileNew() {
    if (m_pTemplate)
        m_pTemplate->OpenDocumentFile(QString());
}

void CWinApp::OnFileOpen(const QString& folder) {
    const QString path = CFileDialogHook::GetOpenFileName(GetMainWnd(), folder);
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
            // A file that cannot be opened leaves the list; one the user did not get to open
            // (Cancel in the save prompt) stays.
            if (!OpenDocumentFile(path) && !(m_pTemplate && m_pTemplate->LastOpenCancelled())) {
                m_recentFiles.removeAt(index);
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
