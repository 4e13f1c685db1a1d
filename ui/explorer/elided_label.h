#pragma once

// A one-line label for the status bar that gives way: where the bar leaves it
// less room than its text needs, the text is shortened with "…" instead of
// running into its neighbours. text() is always the whole text.

#include <QLabel>

namespace mandel_ui {

class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr);
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace mandel_ui
