#include "QuorvelDoc.h"

#include <QFile>

bool CQuorvelDoc::OnOpenDocument(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

bool CQuorvelDoc::OnSaveDocument(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate);
}
