// The edit view's printing: the print commands, on the application's printer, and the pages.
#include "EditView.h"

#include "WinApp.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <Qsci/qsciprinter.h>

namespace {
// The printer the print commands use: the application's, which Print Setup changes and which
// keeps the user's choices from one command to the next. None without an application.
QPrinter* commandPrinter() {
    CWinApp* app = AfxGetApp();
    return app ? app->GetPrinter() : nullptr;
}
} // namespace

void CEditView::PrintText(QPrinter* printer) {
    OnBeginPrinting();
    if (auto* editorPrinter = dynamic_cast<QsciPrinter*>(printer)) {
        editorPrinter->printRange(this);
    } else {
        // A printer of the platform's own: the editor formats the pages for one like it.
        QsciPrinter pages(QPrinter::HighResolution);
        pages.setOutputFormat(printer->outputFormat());
        pages.setOutputFileName(printer->outputFileName());
        if (printer->outputFormat() == QPrinter::NativeFormat)
            pages.setPrinterName(printer->printerName());
        pages.setPageLayout(printer->pageLayout());
        pages.setCopyCount(printer->copyCount());
        pages.setFromTo(printer->fromPage(), printer->toPage());
        pages.printRange(this);
    }
    OnEndPrinting();
}

void CEditView::OnFilePrint() {
    QPrinter* printer = commandPrinter();
    if (!printer)
        return;
    OnPreparePrinting();
    QPrintDialog dialog(printer, window());
    if (dialog.exec() == QDialog::Accepted)
        PrintText(printer);
}

void CEditView::OnFilePrintDirect() {
    QPrinter* printer = commandPrinter();
    if (!printer)
        return;
    OnPreparePrinting();
    PrintText(printer);
}

void CEditView::OnFilePrintPreview() {
    QPrinter* printer = commandPrinter();
    if (!printer)
        return;
    OnPreparePrinting();
    QPrintPreviewDialog preview(printer, window());
    connect(&preview, &QPrintPreviewDialog::paintRequested, this,
            [this](QPrinter* p) { PrintText(p); });
    auto* widget = preview.findChild<QPrintPreviewWidget*>();
    if (widget && AfxGetApp()->GetPreviewPages() == 2)
        widget->setViewMode(QPrintPreviewWidget::FacingPagesView);
    preview.exec();
    if (widget)
        AfxGetApp()->SetPreviewPages(
            widget->viewMode() == QPrintPreviewWidget::FacingPagesView ? 2 : 1);
}
