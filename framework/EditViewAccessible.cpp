#include "EditViewAccessible.h"

#include "EditView.h"

#include <QAccessibleWidget>

#include <algorithm>

namespace {
// What screen readers see of the view: an editable text whose whole text they can read, with
// offsets counted in characters. The editor's own accessible object counts the characters from
// the start of the text at every change of the text or the caret and every repaint, whether a
// screen reader listens or not, which makes a long log slow to append to, scroll and paint.
// This one counts only when asked, and the view tells listeners of changes itself.
class CEditViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit CEditViewAccessible(CEditView* view)
        : QAccessibleWidget(view, QAccessible::EditableText), m_view(view) {}

    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = !m_view->isReadOnly();
        s.readOnly = m_view->isReadOnly();
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::fromUtf8(m_view->GetWindowText());
        return QAccessibleWidget::text(t);
    }

    QString text(int startOffset, int endOffset) const override {
        const long start = position(startOffset);
        const long end = position(endOffset);
        if (end <= start)
            return QString();
        // The range as one block of bytes (the editor hands back a pointer).
        const auto* bytes = reinterpret_cast<const char*>(m_view->SendScintilla(
            QsciScintillaBase::SCI_GETRANGEPOINTER, (unsigned long)start, end - start));
        return QString::fromUtf8(bytes, end - start);
    }
    int characterCount() const override { return offset(long(m_view->GetTextLength())); }
    int cursorPosition() const override {
        return offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    }
    void setCursorPosition(int position) override {
        m_view->SendScintilla(QsciScintillaBase::SCI_GOTOPOS,
                              (unsigned long)this->position(position));
    }
    int selectionCount() const override { return m_view->hasSelectedText() ? 1 : 0; }
    void selection(int index, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = 0;
        if (index != 0 || !m_view->hasSelectedText())
            return;
        *startOffset = offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART));
        *endOffset = offset(m_view->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONEND));
    }
    void addSelection(int startOffset, int endOffset) override {
        setSelection(0, startOffset, endOffset);
    }
    void removeSelection(int index) override {
        if (index == 0)
            m_view->SendScintilla(
                QsciScintillaBase::SCI_SETEMPTYSELECTION,
                (unsigned long)m_view->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS));
    }
    void setSelection(int index, int startOffset, int endOffset) override {
        if (index == 0)
            m_view->SendScintilla(QsciScintillaBase::SCI_SETSEL,
                                  (unsigned long)position(startOffset), position(endOffset));
    }
    QRect characterRect(int offset) const override {
        const long pos = position(offset);
        const int x =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, pos));
        const int y =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, pos));
        const long next =
            m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONAFTER, (unsigned long)pos);
        const int right =
            int(m_view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, next));
        const int height = int(m_view->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0UL));
        const QPoint topLeft = m_view->viewport()->mapToGlobal(QPoint(x, y));
        return QRect(topLeft, QSize(std::max(1, right - x), height));
    }
    int offsetAtPoint(const QPoint& point) const override {
        const QPoint local = m_view->viewport()->mapFromGlobal(point);
        const long pos = m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMPOINTCLOSE,
                                               (unsigned long)local.x(), long(local.y()));
        return pos < 0 ? -1 : offset(pos);
    }
    void scrollToSubstring(int startIndex, int endIndex) override {
        m_view->SendScintilla(QsciScintillaBase::SCI_SCROLLRANGE, (unsigned long)position(endIndex),
                              position(startIndex));
    }
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = *endOffset = offset; // plain text: no attributes anywhere
        return QString();
    }

private:
    // Byte position <-> character offset.
    int offset(long position) const {
        return int(m_view->SendScintilla(QsciScintillaBase::SCI_COUNTCHARACTERS, 0UL, position));
    }
    long position(int offset) const {
        if (offset <= 0)
            return 0;
        const long pos =
            m_view->SendScintilla(QsciScintillaBase::SCI_POSITIONRELATIVE, 0UL, long(offset));
        return pos == 0 ? long(m_view->GetTextLength()) : pos; // 0: past the end
    }
    CEditView* m_view;
};
} // namespace

QAccessibleInterface* editViewAccessible(const QString& /*className*/, QObject* object) {
    if (auto* view = qobject_cast<CEditView*>(object))
        return new CEditViewAccessible(view); // owned by the accessibility cache
    return nullptr;
}
