#pragma once
// The log document: no data of its own; the log's text lives in the view.
#include "Document.h"

class CTidemarkDoc : public CDocument {
    Q_OBJECT
public:
    CTidemarkDoc() = default;

    bool OnNewDocument() override;
    // Refuses to write over this run's session journal, which the receiver goes on appending
    // to: a file saved there would take its name, and what comes later would go to no file.
    bool OnSaveDocument(const QString& path) override;
    void Serialize(CArchive& ar) override;
};
