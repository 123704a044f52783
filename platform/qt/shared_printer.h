// The program's one printer setup: File > Print Setup changes it, and printing and print preview
// start from it, so the paper and orientation chosen there are the ones used. The application
// owns the printer and registers it here for the views.
#pragma once

class QPrinter;

namespace varlo {

// The registered printer, or nullptr when none is (tests, tools): callers then use a default one.
QPrinter* SharedPrinter();
// Registers the program's printer (nullptr unregisters). The caller keeps ownership.
void SetSharedPrinter(QPrinter* printer);

}  // namespace varlo
