#pragma once
// One registry store file and the discipline that keeps it whole while several processes
// use it: a change takes the lock file beside the store (flock), reads the file afresh,
// applies itself, writes a temporary file, flushes it to the disk and renames it over the
// store; a reader never sees half a file. A file that cannot be parsed is never overwritten:
// the first change after it renames it to "<store>.unreadable-<YYYYmmdd-HHMMSS>" and says so
// on standard error; until then readers see no values in it.

#include <functional>
#include <string>

#include "platform/registry/reg_file.h"

namespace platform {

class RegStore {
  public:
    explicit RegStore(std::string path);

    const std::string& Path() const { return path_; }

    // The store as it is now; a missing or unreadable file reads as empty. Fails (an error
    // number) only when the file exists but cannot be read.
    LONG Read(RegFile& file) const;

    // Applies `change` to the current contents under the store's lock. `change` returns
    // ERROR_SUCCESS or the reason it refused (then nothing is written), and sets `changed`
    // when it altered the contents; an unaltered store is not rewritten.
    using Change = std::function<LONG(RegFile& file, bool& changed)>;
    LONG Update(const Change& change) const;

  private:
    std::string path_;
};

}  // namespace platform
