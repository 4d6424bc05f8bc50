#include "MessageBox.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>

namespace {
MessageBoxResponder& responder() {
    static MessageBoxResponder r;
    return r;
}

struct Button {
    QMessageBox::StandardButton button;
    int id;
};

std::vector<Button> buttonsFor(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {{QMessageBox::Ok, IDOK}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_ABORTRETRYIGNORE:
        return {{QMessageBox::Abort, IDABORT},
                {QMessageBox::Retry, IDRETRY},
                {QMessageBox::Ignore, IDIGNORE}};
    case MB_YESNOCANCEL:
        return {
            {QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}, {QMessageBox::Cancel, IDCANCEL}};
    case MB_YESNO:
        return {{QMessageBox::Yes, IDYES}, {QMessageBox::No, IDNO}};
    case MB_RETRYCANCEL:
        return {{QMessageBox::Retry, IDRETRY}, {QMessageBox::Cancel, IDCANCEL}};
    default:
        return {{QMessageBox::Ok, IDOK}};
    }
}

// A box without Cancel (Abort/Retry/Ignore, Yes/No) can be answered only with one of its
// buttons: Qt would otherwise take Esc and the close box as Abort or No, and an Abort that
// ends the program must never come from a reflex on Esc.
class FrameworkBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;
    // Only a box given an escape button (Cancel, or the single OK) answers Esc and the close box.
    bool Escapable() const { return escapeButton() != nullptr; }

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (!Escapable() && event->key() == Qt::Key_Escape) {
            event->accept();
            return;
        }
        QMessageBox::keyPressEvent(event);
    }
    void closeEvent(QCloseEvent* event) override {
        if (!Escapable()) {
            event->ignore();
            return;
        }
        QMessageBox::closeEvent(event);
    }
};

QMessageBox::Icon iconFor(UINT type) {
    switch (type & MB_ICONMASK) {
    case MB_ICONHAND:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONEXCLAMATION:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}
} // namespace

void AfxSetMessageBoxResponder(MessageBoxResponder r) {
    responder() = std::move(r);
}

int AfxMessageBox(const QString& text, UINT nType, UINT /*nIDHelp*/) {
    // The framework's box: a plain OK box without an icon is given the exclamation icon.
    if ((nType & MB_ICONMASK) == 0 && (nType & MB_TYPEMASK) == MB_OK)
        nType |= MB_ICONEXCLAMATION;
    if (responder())
        return responder()(text, nType);

    FrameworkBox box(iconFor(nType), QCoreApplication::applicationName(), text,
                     QMessageBox::NoButton, QApplication::activeWindow());
    const std::vector<Button> buttons = buttonsFor(nType);
    for (const Button& b : buttons)
        box.addButton(b.button);
    // Esc and the close box answer Cancel where there is one, OK on the single OK box, and
    // nothing on a box without either.
    for (const Button& b : buttons)
        if (b.id == IDCANCEL || buttons.size() == 1)
            box.setEscapeButton(box.button(b.button));
    if (!box.Escapable())
        box.setWindowFlag(Qt::WindowCloseButtonHint, false);
    // A box asked for under the wait cursor is answered with the ordinary pointer.
    QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    QApplication::restoreOverrideCursor();
    const auto* clicked = box.clickedButton();
    for (const Button& b : buttons)
        if (clicked == box.button(b.button))
            return b.id;
    return IDCANCEL; // closed some other way (the close box)
}

void MessageBeep(UINT /*nType*/) {
    QApplication::beep();
}
