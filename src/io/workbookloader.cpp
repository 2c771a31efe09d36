#include "workbookloader.h"

#include <cstdlib>
#include <new>

#if KALMIR_HAVE_WORKBOOK
#include <dlfcn.h>
#include <unistd.h>

#include <vector>

#include "programdir.h"
#include "workbookblock.h"
#include "workbookmodule.h"
#endif

namespace {

Worksheet unreadable(const std::string& why) {
  Worksheet sheet;
  sheet.kind = WorkbookKind::kXlsx;
  sheet.error = "this build of kalmir cannot read workbooks (" + why +
                "); save the sheet as CSV";
  return sheet;
}

#if KALMIR_HAVE_WORKBOOK

struct Module {
  KalmirReadWorkbook read = nullptr;
  std::string whyNot;  // when read is null
};

// Where the module is looked for, in order: beside the program (the build
// tree), then where the install rule puts it.
std::vector<std::string> moduleCandidates() {
  const std::string dir = programDirectory();
  return {dir + "kalmir-workbook.so",
          dir + KALMIR_WORKBOOK_FROM_PROGRAM "/kalmir-workbook.so"};
}

Module loadModule() {
  Module m;
  for (const std::string& path : moduleCandidates()) {
    if (access(path.c_str(), F_OK) != 0) continue;
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      m.whyNot = "its workbook module cannot be loaded: " +
                 std::string(dlerror());
      return m;
    }
    // Never closed: other files of the run may be workbooks too.
    m.read = reinterpret_cast<KalmirReadWorkbook>(
        dlsym(handle, KALMIR_READ_WORKBOOK_SYMBOL));
    if (m.read == nullptr) m.whyNot = path + " is of another version";
    return m;
  }
  m.whyNot =
      "its workbook module " + moduleCandidates().back() + " is missing";
  return m;
}

#endif

}  // namespace

Worksheet loadWorkbook(const std::string& bytes, const std::string& sheet) {
#if KALMIR_HAVE_WORKBOOK
  static const Module module = loadModule();
  if (module.read == nullptr) return unreadable(module.whyNot);
  size_t nBlock = 0;
  char* pBlock = module.read(bytes.data(), bytes.size(), sheet.data(),
                             sheet.size(), &nBlock);
  if (pBlock == nullptr) throw std::bad_alloc();
  Worksheet result;
  const bool bDecoded = WorksheetDecoder(pBlock, nBlock).decode(&result);
  std::free(pBlock);
  if (!bDecoded) return unreadable("its workbook module answered nonsense");
  return result;
#else
  (void)bytes;
  (void)sheet;
  return unreadable("it was built without libzip and expat");
#endif
}
