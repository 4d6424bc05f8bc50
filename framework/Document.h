#pragma once
// A document: its title and path, the modified flag, and file transfer through Serialize.
#include "Archive.h"
#include "CmdTarget.h"

#include <QObject>
#include <QString>
#include <vector>

class CView;
class CDocTemplate;

class CDocument : public QObject, public CCmdTarget {
    Q_OBJECT
public:
    CDocument();
    ~CDocument() override;

    const QString& GetTitle() const { return m_strTitle; }
    void SetTitle(const QString& title);
    const QString& GetPathName() const { return m_strPathName; }
    void SetPathName(const QString& path, bool bAddToMRU = true);
    bool IsModified() const { return m_bModified; }
    void SetModifiedFlag(bool bModified = true) { m_bModified = bModified; }

    void AddView(CView* pView);
    void RemoveView(CView* pView);
    CView* GetFirstView() const { return m_views.empty() ? nullptr : m_views.front(); }
    CDocTemplate* GetDocTemplate() const { return m_pDocTemplate; }
    void SetDocTemplate(CDocTemplate* t) { m_pDocTemplate = t; }

    virtual bool OnNewDocument();
    virtual bool OnOpenDocument(const QString& path);
    // Whether the last OnOpenDocument failed because the user cancelled the load.
    bool LastOpenCancelled() const { return m_bOpenCancelled; }
    virtual bool OnSaveDocument(const QString& path);
    virtual void DeleteContents() {}
    virtual void Serialize(CArchive& /*ar*/) {}

    // Asks "Save changes to %1?" when modified; false when the user cancels or saving fails.
    virtual bool SaveModified();
    // Save (to the current path, or asking for one) and Save As.
    bool DoFileSave();
    bool DoSave(const QString& path, bool bReplace = true);

    bool OnCmdMsg(UINT nID) override;

signals:
    void titleChanged();

private:
    QString m_strTitle;
    QString m_strPathName;
    bool m_bModified = false;
    bool m_bOpenCancelled = false;
    std::vector<CView*> m_views;
    CDocTemplate* m_pDocTemplate = nullptr;
};
