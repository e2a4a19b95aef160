#pragma once

#include <QDialog>

#include <string>

namespace turnpost {

/// The outcome of a send run, one line per player. OK, Enter and Escape close it.
class CSummaryDialog : public QDialog
{
    Q_OBJECT
public:
    explicit CSummaryDialog(const std::string& text, QWidget* parent = nullptr);
};

} // namespace turnpost
