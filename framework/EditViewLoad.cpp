// The edit view's transfer to and from files: writing the text as it lies in the editor, and
// loading a file of any size the memory can hold, in pieces, into a document of its own that
// replaces the view's only when the whole file is in. A load that takes a while shows its
// progress and can be cancelled; the log is then as it was.
#include "EditView.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <cstdio>
#include <limits>
#include <unistd.h>

// The editor's interface for building a document away from any view: add the bytes, then take
// the document. Declared here as the editor defines it, under its name (a checked build
// compares the object's type by name); its headers are not installed with the widget's. Not in
// an unnamed namespace: the compiler would then know every class that implements it in this
// file (none) and call the pure functions themselves.
class ILoader {
public:
    virtual int Release() = 0;
    virtual int AddData(const char* data, std::ptrdiff_t length) = 0; // an SC_STATUS_ code
    virtual void* ConvertToDocument() = 0;

protected:
    ~ILoader() = default;
};

namespace {
constexpr qint64 kPieceBytes = 4 << 20;
// What the editor keeps of a log beside its bytes (the start of each line, the gap it grows
// into), as a share of the bytes: a file is opened only if this much of the memory is free.
constexpr double kMemoryPerByte = 1.3;

const QString kTooLarge = QStringLiteral("The file is too large to open.");

// Memory the system can give without swapping: MemAvailable, or the free pages where the
// kernel does not tell it.
qint64 availableMemory() {
    if (FILE* f = std::fopen("/proc/meminfo", "r")) {
        char key[64];
        long long kb = 0;
        while (std::fscanf(f, "%63s %lld kB\n", key, &kb) == 2)
            if (qstrcmp(key, "MemAvailable:") == 0) {
                std::fclose(f);
                return qint64(kb) * 1024;
            }
        std::fclose(f);
    }
    return qint64(sysconf(_SC_AVPHYS_PAGES)) * sysconf(_SC_PAGESIZE);
}

// Releases a loader that has not been turned into a document.
struct LoaderGuard {
    ILoader* loader;
    ~LoaderGuard() {
        if (loader)
            loader->Release();
    }
};
} // namespace

qint64 CEditView::GetMaxOpenSize() const {
    if (m_nMaxOpenSize >= 0)
        return m_nMaxOpenSize;
    return std::min<qint64>(qint64(double(availableMemory()) / kMemoryPerByte),
                            std::numeric_limits<std::ptrdiff_t>::max() / 2);
}

void CEditView::SerializeRaw(CArchive& ar) {
    QIODevice* file = ar.GetFile();
    if (ar.IsStoring()) {
        // Straight from the editor's own buffer, without a copy of the whole log.
        const qint64 length = GetTextLength();
        const auto* bytes =
            static_cast<const char*>(SendScintillaPtrResult(SCI_GETCHARACTERPOINTER));
        if (file->write(bytes, length) != length)
            throw CArchiveException{file->errorString()};
        return;
    }
    loadRaw(file);
}

void CEditView::loadRaw(QIODevice* file) {
    const qint64 limit = GetMaxOpenSize();
    // Devices and the like report no size: they are read up to one byte past the limit.
    const qint64 size = file->isSequential() ? 0 : file->size();
    if (size > limit)
        throw CArchiveException{kTooLarge};
    // Room for the whole file and a little more: a buffer filled to its last byte is moved to
    // a larger one, and for a moment both are in memory.
    const qint64 room = size + size / 64 + (1 << 20);
    LoaderGuard guard{reinterpret_cast<ILoader*>(
        SendScintilla(SCI_CREATELOADER, (unsigned long)room,
                      long(SC_DOCUMENTOPTION_STYLES_NONE | SC_DOCUMENTOPTION_TEXT_LARGE)))};
    if (!guard.loader)
        throw CArchiveException{kTooLarge}; // no memory for the document

    auto* named = qobject_cast<QFile*>(file);
    QProgressDialog progress(
        QStringLiteral("Opening %1...")
            .arg(named ? QFileInfo(named->fileName()).fileName() : QStringLiteral("the file")),
        QStringLiteral("Cancel"), 0, 1000, window());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(m_nProgressDelayMs);
    progress.setAutoClose(false);
    progress.setAutoReset(false);
    progress.setValue(0);

    // Text the receiver appends while the dialog lets the window's events run goes after the
    // file's, so that nothing received during the load is lost from the window.
    const qint64 logBefore = GetTextLength();
    QByteArray piece(kPieceBytes, Qt::Uninitialized);
    qint64 total = 0;
    for (;;) {
        const qint64 n = file->read(piece.data(), kPieceBytes);
        if (n < 0)
            throw CArchiveException{file->errorString()};
        if (n == 0)
            break;
        total += n;
        if (total > limit || guard.loader->AddData(piece.constData(), n) != 0)
            throw CArchiveException{kTooLarge};
        if (size > 0)
            progress.setValue(int(std::min<qint64>(999, total * 1000 / size)));
        if (progress.wasCanceled())
            throw CArchiveException{QString(), true};
    }
    progress.setValue(1000);
    if (progress.wasCanceled())
        throw CArchiveException{QString(), true};
    void* doc = guard.loader->ConvertToDocument();
    guard.loader = nullptr;
    const QByteArray arrived =
        GetTextLength() > logBefore ? GetWindowText().mid(logBefore) : QByteArray();
    replaceDocument(doc);
    m_nTextRoom = room; // the loader's buffer, which later appends fill first
    if (!arrived.isEmpty())
        appendBytes(arrived);
}
