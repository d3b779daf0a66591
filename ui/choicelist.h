// SPDX-License-Identifier: MIT
#pragma once
// CChoiceList: a drop-down list as the window's core drives it — entries with a text and a number
// each, one of them selected or none. A window's list control derives from it (or from a rule built
// on it, CBaudList or CComPortList) and supplies these operations. The list must not sort: its
// entries stand in the order they were added.

#include <string>

class CChoiceList {
public:
    virtual ~CChoiceList() = default;

    // Appends an entry; data is what EntryData gives back for it.
    virtual void AddEntry(const std::string& text, int data) = 0;
    // Puts an entry at index (0 to EntryCount()), the entries from there on one further down.
    virtual void InsertEntry(int index, const std::string& text, int data) = 0;
    virtual void RemoveEntry(int index) = 0;
    virtual void RemoveAllEntries() = 0;
    virtual int EntryCount() const = 0;
    virtual int EntryData(int index) const = 0;
    // -1 when nothing is selected; selecting -1 selects nothing.
    virtual int SelectedIndex() const = 0;
    virtual void SelectIndex(int index) = 0;
};
