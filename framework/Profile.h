#pragma once
// The per-user profile: one QSettings store named after the organisation and application
// (the registry on Windows, ~/.config/<Company>/<App>.conf on Linux). Sections are groups.
#include <QString>

void SetRegistryKey(const QString& company);
int GetProfileInt(const QString& section, const QString& entry, int nDefault);
QString GetProfileString(const QString& section, const QString& entry,
                         const QString& strDefault = QString());
bool WriteProfileInt(const QString& section, const QString& entry, int nValue);
bool WriteProfileString(const QString& section, const QString& entry, const QString& value);
// Removes every value of the application's profile (the unregister switch).
void DeleteProfile();
