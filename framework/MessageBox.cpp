#include "MessageBox.h"

#include <QApplication>
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

    QMessageBox box(iconFor(nType), QCoreApplication::applicationName(), text,
                    QMessageBox::NoButton, QApplication::activeWindow());
    const std::vector<Button> buttons = buttonsFor(nType);
    for (const Button& b : buttons)
        box.addButton(b.button);
    // Esc answers Cancel where there is one; a box without Cancel ignores Esc, as on the
    // original platform, except the single OK box.
    for (const Button& b : buttons)
        if (b.id == IDCANCEL || buttons.size() == 1)
            box.setEscapeButton(box.button(b.button));
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
