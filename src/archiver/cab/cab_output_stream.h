#pragma once
// A seekable GOutputStream over OutputFile, for libgcab: it writes the
// cabinet's data first and then seeks back to write the headers. Writes below
// the end patch what is already written; every write still goes through
// OutputFile, so its buffering, cancel flag and failure seam hold for CAB too.

#include "archiver/output_file.h"

#include <exception>
#include <gio/gio.h>
#include <vector>

namespace sheaf::archiver {

// A new stream (one reference, to be released with g_object_unref). An
// exception of OutputFile is kept in `failure` and reported to gcab as a
// GError, so that it can be thrown again once gcab has returned. When
// `headers` is given, the bytes written to the first headers->size() bytes
// of the cabinet are also copied there, so that they can be read back.
GOutputStream *newCabOutputStream(
    OutputFile &out, std::exception_ptr *failure, std::vector<uint8_t> *headers = nullptr);

} // namespace sheaf::archiver
