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

class CWinApp : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    CWinApp();
    ~CWinApp() override;

    virtual bool InitInstance() { return true; }
    // Runs the event loop until the main window closes; returns the exit status.
    virtual int Run();

    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate);
    CSingleDocTemplate* GetDocTemplate() const { return m_pTemplate.get(); }
    CFrameWnd* GetMainWnd() const;

    // Recent files: read from and written to "Recent File List" (File1..FileN).
    void LoadStdProfileSettings(int nMaxMRU = 4);
    void SaveStdProfileSettings();
    void AddToRecentFileList(const QString& path);
    const QStringList& GetRecentFileList() const { return m_recentFiles; }
    int GetPreviewPages() const { return m_nPreviewPages; }
    void SetPreviewPages(int n) { m_nPreviewPages = n; }
    QPrinter* GetPrinter(); // the printer Print Setup changes and printing uses

    void OnFileNew();
    void OnFileOpen();
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
};

// The one application object of the process, or null.
CWinApp* AfxGetApp();
