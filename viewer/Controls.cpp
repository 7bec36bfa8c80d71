#include "Controls.h"

#include <QGridLayout>
#include <QRadioButton>
#include <QRegularExpressionValidator>

namespace kvx {

RadioGroup::RadioGroup(const QString& name, const QString& caption, const QStringList& items, int itemIndex,
                       QWidget* parent, int columns)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)), columns_(columns < 1 ? 1 : columns)
{
    setObjectName(name);
    new QGridLayout(this);
    layout()->setContentsMargins(8, 4, 8, 4);
    static_cast<QGridLayout*>(layout())->setVerticalSpacing(2);
    group_->setExclusive(true);
    connect(group_, &QButtonGroup::idClicked, this, [this](int) { emit clicked(); });
    rebuild(items, itemIndex);
}

QStringList RadioGroup::items() const
{
    QStringList list;
    for (QWidget* w : buttons_) {
        list << static_cast<QRadioButton*>(w)->text();
    }
    return list;
}

void RadioGroup::setItems(const QStringList& items) { rebuild(items, itemIndex()); }

int RadioGroup::itemIndex() const { return group_->checkedId(); }

void RadioGroup::setItemIndex(int index)
{
    if (index >= 0 && index < buttons_.size()) {
        group_->button(index)->setChecked(true);
    } else if (QAbstractButton* b = group_->checkedButton()) {
        group_->setExclusive(false);
        b->setChecked(false);
        group_->setExclusive(true);
    }
    emit clicked();
}

void RadioGroup::rebuild(const QStringList& items, int index)
{
    for (QWidget* w : buttons_) {
        group_->removeButton(static_cast<QRadioButton*>(w));
        delete w;
    }
    buttons_.clear();
    auto* grid = static_cast<QGridLayout*>(layout());
    const int rows = (items.size() + columns_ - 1) / columns_;
    for (int i = 0; i < items.size(); ++i) {
        auto* b = new QRadioButton(items[i], this);
        group_->addButton(b, i);
        grid->addWidget(b, rows ? i % rows : 0, rows ? i / rows : 0);
        buttons_ << b;
    }
    if (index >= 0 && index < buttons_.size()) {
        group_->button(index)->setChecked(true);
    }
}

CaptionPanel::CaptionPanel(const QString& name, QWidget* parent) : QFrame(parent), caption_(new QLabel(this))
{
    setObjectName(name);
    caption_->setObjectName(name + QStringLiteral("_Caption"));
    caption_->setAlignment(Qt::AlignCenter);
    caption_->setWordWrap(true);
    auto* column = new QVBoxLayout(this);
    column->addWidget(caption_, 1);
}

QLineEdit* makeDigitsEdit(const QString& name, const QString& text, QWidget* parent)
{
    auto* e = new QLineEdit(text, parent);
    e->setObjectName(name);
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    return e;
}

QSpinBox* makeUpDownEdit(const QString& editName, const QString& upDownName, int minimum, int maximum, int value,
                         QWidget* parent)
{
    auto* s = new QSpinBox(parent);
    s->setObjectName(upDownName);
    s->setRange(minimum, maximum);
    s->setValue(value);
    if (auto* editor = s->findChild<QLineEdit*>()) {
        editor->setObjectName(editName);
    }
    return s;
}

}  // namespace kvx
