// The list a file with several designs opens: each entry's name, number of
// maps and kind, with a small preview; the user picks one.
#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>

#include "design_file.h"

class QListWidget;

namespace fernweave {

class TfrmChooseEntry : public QDialog {
    Q_OBJECT
public:
    TfrmChooseEntry(const DesignFile& file, const QString& fileName, QWidget* parent = nullptr);
    // The entry picked, or nothing when the list was cancelled.
    std::optional<std::size_t> Chosen() const;
    QListWidget* List() const { return list_; }

private:
    QListWidget* list_ = nullptr;
};

// A picture of an entry's attractor, `side` pixels square on black; a
// picture of the background alone when the entry cannot be drawn.
QImage EntryPreview(const DesignFile& file, std::size_t index, int side);

}  // namespace fernweave
