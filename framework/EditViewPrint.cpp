// The edit view's printing: the print commands, on the application's printer, and the pages.
#include "EditView.h"

#include "WinApp.h"

#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <Qsci/qsciprinter.h>

// The one look-up of the printer for the print commands: the application's, which Print Setup
// changes and which keeps the user's choices from one command to the next. With one, the view
// prepares for printing; without an application there is none, and the command does nothing.
QPrinter* CEditView::printerForCommand() {
    CWinApp* app = AfxGetApp();
    QPrinter* printer = app ? app->GetPrinter() : nullptr;
    if (printer)
        OnPreparePrinting();
    return printer;
}

void CEditView::PrintText(QPrinter* printer) {
    OnBeginPrinting();
    // Pages show the text alone: highlights are for the screen.
    showHighlights(false);
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
    showHighlights(true);
    OnEndPrinting();
}

void CEditView::OnFilePrint() {
    QPrinter* printer = printerForCommand();
    if (!printer)
        return;
    QPrintDialog dialog(printer, window());
    if (dialog.exec() == QDialog::Accepted)
        PrintText(printer);
}

void CEditView::OnFilePrintDirect() {
    if (QPrinter* printer = printerForCommand())
        PrintText(printer);
}

void CEditView::OnFilePrintPreview() {
    QPrinter* printer = printerForCommand();
    if (!printer)
        return;
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
