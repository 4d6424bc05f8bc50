#pragma once
// The application object: the document template, the recent-file list, the application-level
// commands (New, Open, Print Setup, recent files, Exit) and the command line.
#include "CmdTarget.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class CSingleDocTemplate;
class CFrameWnd;
class QPrinter;

// What the command line asks for: the framework's standard switches and one file name.
class CCommandLineInfo {
public:
    enum { FileNew, FileOpen, FilePrint, FilePrintTo, FileDDE, AppRegister, AppUnregister };
    virtual ~CCommandLineInfo() = default;
    // One argument: param without its switch character when bFlag; bLast for the final one.
    virtual void ParseParam(const QString& param, bool bFlag, bool bLast);

    int m_nShellCommand = FileNew;
    bool m_bShowSplash = true;
    bool m_bRunEmbedded = false;
    bool m_bRunAutomated = false;
    QString m_strFileName;
    QString m_strPrinterName;
    QString m_strDriverName;
    QString m_strPortName;
};

class CWinApp : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    CWinApp();
    ~CWinApp() override;

    virtual bool InitInstance() { return true; }
    // Runs the event loop until the main window closes; returns the exit status.
    virtual int Run();
    // Writes the recent-file list and print settings back (not after the unregister switch,
    // which has just removed them); returns the exit status.
    virtual int ExitInstance();

    // Reads the process's arguments (or the given ones, without the program name). A switch
    // begins with '-' or is one of the framework's switches with '/' ("/p", "/pt",
    // "/unregister", ...); on this platform any other argument beginning with '/' is a path.
    void ParseCommandLine(CCommandLineInfo& rCmdInfo);
    // Replaces the process's arguments (without the program name) for ParseCommandLine.
    void SetCommandLine(const QStringList& args) {
        m_commandLine = args;
        m_bCommandLineSet = true;
    }
    static void ParseCommandLine(CCommandLineInfo& rCmdInfo, const QStringList& args);
    // Carries the command line out: a new or opened document, printing it (then false, so
    // the program ends), or removing the profile (reported, then false).
    bool ProcessShellCommand(CCommandLineInfo& rCmdInfo);

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate);
    CSingleDocTemplate* GetDocTemplate() const { return m_pTemplate.get(); }
    CFrameWnd* GetMainWnd() const;

    // Recent files: read from and written to "Recent File List" (File1..FileN).
    // Qt's controls always have the platform's own three-dimensional look; kept for the
    // start-up sequence's sake.
    void Enable3dControlsStatic() {}

    void LoadStdProfileSettings(int nMaxMRU = 4);
    void SaveStdProfileSettings();
    void AddToRecentFileList(const QString& path);
    const QStringList& GetRecentFileList() const { return m_recentFiles; }
    int GetPreviewPages() const { return m_nPreviewPages; }
    void SetPreviewPages(int n) { m_nPreviewPages = n; }
    QPrinter* GetPrinter(); // the printer Print Setup changes and printing uses

    void OnFileNew();
    // Open, its dialog starting in folder when one is given.
    void OnFileOpen(const QString& folder = QString());
    void OnFilePrintSetup();
    bool OpenDocumentFile(const QString& path);

    bool OnCmdMsg(UINT nID) override;

signals:
    void recentFilesChanged();

protected:
    std::unique_ptr<CSingleDocTemplate> m_pTemplate;
    QStringList m_recentFiles;
    int m_nMaxMRU = 0;
    int m_nPreviewPages = 1;
    std::unique_ptr<QPrinter> m_pPrinter;
    int m_nLastShellCommand = CCommandLineInfo::FileNew;
    int m_nExitCode = 0; // what ExitInstance returns: 1 after a start-up command that failed
    QStringList m_commandLine;
    bool m_bCommandLineSet = false;
};

// The one application object of the process, or null.
CWinApp* AfxGetApp();
