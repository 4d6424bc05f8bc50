#pragma once
// What screen readers see of an edit view: an accessible object that counts the text's
// characters only when asked. The view installs the factory and tells listeners of its changes
// itself.
class QAccessibleInterface;
class QObject;
class QString;

// The accessible object of a CEditView, none for any other object. Consulted before the
// editor's own factory when installed after it.
QAccessibleInterface* editViewAccessible(const QString& className, QObject* object);
