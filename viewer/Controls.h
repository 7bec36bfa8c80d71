// Small controls the windows are built from: a radio group with an item list
// and an item index, a panel with a centred caption, a digits-only edit and an
// edit with an up-down whose embedded editor carries the edit's name.
#pragma once

#include <QButtonGroup>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStringList>
#include <QVBoxLayout>

namespace kvx {

// A group box of radio buttons, one per item; ItemIndex -1 = none chosen.
class RadioGroup : public QGroupBox {
    Q_OBJECT
public:
    RadioGroup(const QString& name, const QString& caption, const QStringList& items, int itemIndex,
               QWidget* parent = nullptr, int columns = 1);
    QStringList items() const;
    // Replaces the items; the item index stays selected when it still exists.
    void setItems(const QStringList& items);
    int itemIndex() const;
    void setItemIndex(int index);

signals:
    // The user chose an item (also sent by setItemIndex).
    void clicked();

private:
    void rebuild(const QStringList& items, int index);
    QButtonGroup* group_;
    QList<QWidget*> buttons_;
    int columns_;
};

// A panel that shows its caption centred, as the workflow panels do.
class CaptionPanel : public QFrame {
    Q_OBJECT
public:
    CaptionPanel(const QString& name, QWidget* parent = nullptr);
    QString caption() const { return caption_->text(); }
    void setCaption(const QString& text) { caption_->setText(text); }
    QLabel* captionLabel() const { return caption_; }

private:
    QLabel* caption_;
};

// A line edit that accepts digits only.
QLineEdit* makeDigitsEdit(const QString& name, const QString& text, QWidget* parent = nullptr);

// An edit with an up-down: the spin box carries the up-down's name, its
// embedded editor the edit's name.
QSpinBox* makeUpDownEdit(const QString& editName, const QString& upDownName, int minimum, int maximum, int value,
                         QWidget* parent = nullptr);

}  // namespace kvx
