// The OK and Cancel row of the picture dialogs: OK is the default button (Enter).
#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>

namespace fernweave {

inline QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = new QPushButton("OK", dialog);
    ok->setObjectName("btnOk");
    ok->setDefault(true);
    cancel = new QPushButton("Cancel", dialog);
    cancel->setObjectName("btnCancel");
    cancel->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace fernweave
