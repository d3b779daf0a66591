// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoApp: the Windows program's start. Lets one copy run per application name, runs the
// settings window modally and ends when it has closed.

class CQlxduoApp {
public:
    // The whole life of the program: the single-instance guard, then the window's modal run and its
    // destruction. Returns false in every case: the program then ends.
    bool InitInstance();
};

// The one application object.
extern CQlxduoApp theApp;
