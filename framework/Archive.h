#pragma once
// The byte stream a document serialises to or from.
#include <QIODevice>

class CArchive {
public:
    enum Mode { load, store };
    CArchive(QIODevice* file, Mode mode) : m_pFile(file), m_mode(mode) {}
    bool IsStoring() const { return m_mode == store; }
    bool IsLoading() const { return m_mode == load; }
    QIODevice* GetFile() const { return m_pFile; }

private:
    QIODevice* m_pFile;
    Mode m_mode;
};

// Thrown by a serialiser that cannot complete; the message is shown to the user. A load the
// user cancelled has nothing to tell.
struct CArchiveException {
    QString message;
    bool bCancelled = false;
};
