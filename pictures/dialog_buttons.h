// Pieces of the program's dialogs: widgets made with the object names tests
// find them by, and the OK and Cancel row, where OK is the default button (Enter).
#pragma once

#include <QDialog>
#include <QHBoxLayout>
#include <QPushButton>
#include <utility>

namespace fernweave {

template <class Widget, class... Args>
Widget* Named(const char* name, Args&&... args) {
    auto* widget = new Widget(std::forward<Args>(args)...);
    widget->setObjectName(name);
    return widget;
}

inline QHBoxLayout* OkCancelRow(QDialog* dialog, QPushButton*& ok, QPushButton*& cancel) {
    ok = Named<QPushButton>("btnOk", "OK", dialog);
    ok->setDefault(true);
    cancel = Named<QPushButton>("btnCancel", "Cancel", dialog);
    cancel->setAutoDefault(false);
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(ok);
    row->addWidget(cancel);
    return row;
}

}  // namespace fernweave
