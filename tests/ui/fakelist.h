// SPDX-License-Identifier: MIT
#pragma once
// A list control as plain data, for the window's core to fill, select and read back: the list
// operations of CChoiceList given to Rule (CChoiceList itself, CBaudList or CComPortList). Like a
// real list it forgets its selection when emptied or when the selected entry goes, keeps it on
// the same entry when others come and go before it, and selects nothing for a position it lacks.

#include <string>
#include <vector>

#include "ui/choicelist.h"

template <class Rule>
class CFakeList : public Rule {
public:
    std::vector<std::string> texts;
    std::vector<int> data;
    int selected = -1;
    int emptied = 0;  // times RemoveAllEntries ran

    void AddEntry(const std::string& text, int value) override {
        texts.push_back(text);
        data.push_back(value);
    }
    void InsertEntry(int index, const std::string& text, int value) override {
        texts.insert(texts.begin() + index, text);
        data.insert(data.begin() + index, value);
        if (selected >= index) ++selected;
    }
    void RemoveEntry(int index) override {
        texts.erase(texts.begin() + index);
        data.erase(data.begin() + index);
        if (selected == index) selected = -1;
        if (selected > index) --selected;
    }
    void RemoveAllEntries() override {
        ++emptied;
        texts.clear();
        data.clear();
        selected = -1;
    }
    int EntryCount() const override { return static_cast<int>(data.size()); }
    int EntryData(int index) const override { return data.at(static_cast<size_t>(index)); }
    int SelectedIndex() const override { return selected; }
    void SelectIndex(int index) override { selected = index < EntryCount() ? index : -1; }
};
