// SPDX-License-Identifier: MIT
#pragma once
// CQlxduoApp: the program's start. Lets one copy run per application name, runs the settings
// window modally and ends when it has closed.

#include <QApplication>
#include <memory>

namespace platform {
class InstanceLock;
}

class CQlxduoApp : public QApplication {
public:
    CQlxduoApp(int& argc, char** argv);
    ~CQlxduoApp() override;

    // The whole life of the program after construction: the single-instance guard, then the
    // window's modal run and its destruction. Returns the process exit code (always 0).
    int InitInstance();

private:
    // Held until the process ends, as the named mutex is on Windows; the kernel also drops it
    // when the process dies without running destructors.
    std::unique_ptr<platform::InstanceLock> m_instanceLock;
};
