#include "about/VersionInfo.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

QString FourPartVersion(const QString& version) {
    QStringList parts = version.split(QLatin1Char('.'));
    if (version.isEmpty() || parts.size() > 4) return {};
    for (QString& part : parts) {
        bool ok = false;
        const uint value = part.toUInt(&ok);
        if (!ok || value > 0xFFFF)  // each number is a 16-bit half of a version word
            return {};
        part = QString::number(value);
    }
    while (parts.size() < 4) parts << QStringLiteral("0");
    return parts.join(QLatin1Char('.'));
}

QString FileVersionText(const QString& fileName) {
    if (QCoreApplication::instance() == nullptr) return {};
    const QString own = QCoreApplication::applicationFilePath();
    const QFileInfo file(fileName.isEmpty() ? own : fileName);
    if (!file.exists() || file.canonicalFilePath() != QFileInfo(own).canonicalFilePath()) return {};
    return BuiltVersionText();
}

QString BuiltVersionText() { return FourPartVersion(QStringLiteral(PIXAMO_VERSION)); }
