#include "window_style.h"

#include <QColor>
#include <QFontMetrics>
#include <QLabel>
#include <QPalette>
#include <QWidget>
#include <algorithm>

namespace mandel_ui {

QFont gothicFont(double points) {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"), QStringLiteral("IPAPGothic")});
    font.setPointSizeF(points);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

void fitTogether(std::span<QLabel* const> labels, QFont font) {
    const auto fits = [&labels](const QFont& candidate) {
        const QFontMetrics metrics(candidate);
        return std::all_of(labels.begin(), labels.end(), [&metrics](const QLabel* l) {
            return metrics.horizontalAdvance(l->text()) <= l->contentsRect().width();
        });
    };
    while (font.pointSizeF() > 6 && !fits(font)) font.setPointSizeF(font.pointSizeF() - 0.25);
    for (QLabel* l : labels) l->setFont(font);
}

namespace {

void setBackground(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

}  // namespace

void applyLabelStyle(QLabel* label, LabelStyle style) {
    switch (style) {
        case LabelStyle::Caption:
            label->setFont(gothicFont(10.5));
            label->setAlignment(Qt::AlignCenter);
            break;
        case LabelStyle::Readout:
            label->setFont(gothicFont(10.5));
            setBackground(label, Qt::white);
            break;
        case LabelStyle::TimeCaption: label->setFont(gothicFont(10.5)); break;
        case LabelStyle::TimeReadout:
            label->setFont(gothicFont(10.5));
            // The colour of an active title bar's text.
            setBackground(label, label->window()->palette().color(QPalette::Active, QPalette::HighlightedText));
            setTextColour(label, Qt::black);
            break;
        case LabelStyle::DirectionWord: break;
        case LabelStyle::Note:
            label->setFont(gothicFont(8.25));
            label->setWordWrap(true);
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
            setTextColour(label, QColor(192, 0, 0));
            break;
    }
}

}  // namespace mandel_ui
