// SPDX-License-Identifier: MIT
#pragma once
// CComboBoxBps: the baud-rate list on Qt Widgets. Filled with every rate when bound to its template
// control; what it holds after that is the rule of CBaudList.

#include <QComboBox>

#include "ui/baudlist.h"
#include "ui/qt/dialogtemplate.h"

class CComboBoxBps : public QComboBox, public CBaudList, public CBindable {
public:
    CComboBoxBps() = default;

    void OnBound() override { FillAll(); }

protected:
    void ReplaceEntries(const std::vector<unit::BaudEntry>& entries) override;
    int EntryCount() const override { return count(); }
    int EntryCode(int index) const override { return itemData(index).toInt(); }
    int SelectedIndex() const override { return currentIndex(); }
    void SelectIndex(int index) override { setCurrentIndex(index); }
};
