#pragma once

// A one-line label that gives way: narrower than its text, it shows the text cut short with "..."
// instead of widening its window beyond a small screen. The whole text stays its text().

#include <QLabel>

class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent = nullptr);

    /// As high as a line, as wide as "..." only.
    [[nodiscard]] QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
