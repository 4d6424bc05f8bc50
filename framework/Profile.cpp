#include "Profile.h"

#include <QCoreApplication>
#include <QSettings>

namespace {
QSettings profile() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope,
                     QCoreApplication::organizationName(), QCoreApplication::applicationName());
}
QString key(const QString& section, const QString& entry) {
    return section + '/' + entry;
}
} // namespace

void SetRegistryKey(const QString& company) {
    QCoreApplication::setOrganizationName(company);
}

int GetProfileInt(const QString& section, const QString& entry, int nDefault) {
    const QVariant value = profile().value(key(section, entry));
    if (!value.isValid())
        return nDefault;
    bool ok = false;
    const qlonglong n = value.toLongLong(&ok);
    // A value of the wrong type (text, a list, out of range) reads as absent.
    if (!ok || n < INT_MIN || n > UINT_MAX)
        return nDefault;
    return static_cast<int>(n); // a DWORD above INT_MAX reads back as its 32-bit pattern
}

QString GetProfileString(const QString& section, const QString& entry, const QString& strDefault) {
    const QVariant value = profile().value(key(section, entry));
    if (!value.isValid() || !value.canConvert<QString>() ||
        value.typeId() == QMetaType::QStringList)
        return strDefault;
    return value.toString();
}

bool WriteProfileInt(const QString& section, const QString& entry, int nValue) {
    QSettings s = profile();
    s.setValue(key(section, entry), nValue);
    s.sync();
    return s.status() == QSettings::NoError;
}

bool WriteProfileString(const QString& section, const QString& entry, const QString& value) {
    QSettings s = profile();
    s.setValue(key(section, entry), value);
    s.sync();
    return s.status() == QSettings::NoError;
}

void DeleteProfile() {
    QSettings s = profile();
    s.clear();
    s.sync();
}
