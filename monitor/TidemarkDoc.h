#pragma once
// The log document: no data of its own; the log's text lives in the view.
#include "Document.h"

class CTidemarkDoc : public CDocument {
    Q_OBJECT
public:
    CTidemarkDoc() = default;

    bool OnNewDocument() override;
    void Serialize(CArchive& ar) override;
};
