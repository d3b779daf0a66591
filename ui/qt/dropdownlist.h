// SPDX-License-Identifier: MIT
#pragma once
// CDropDownList: a Qt drop-down list that supplies the list operations of the core to Rule —
// CChoiceList itself for a plain list, or a rule built on it (CBaudList, CComPortList). An
// entry's number is its item data.

#include <QComboBox>
#include <string>

template <class Rule>
class CDropDownList : public QComboBox, public Rule {
public:
    void AddEntry(const std::string& text, int data) override { addItem(QString::fromStdString(text), data); }
    void InsertEntry(int index, const std::string& text, int data) override {
        insertItem(index, QString::fromStdString(text), data);
    }
    void RemoveEntry(int index) override { removeItem(index); }
    void RemoveAllEntries() override { clear(); }
    int EntryCount() const override { return count(); }
    int EntryData(int index) const override { return itemData(index).toInt(); }
    int SelectedIndex() const override { return currentIndex(); }
    void SelectIndex(int index) override { setCurrentIndex(index); }
};
