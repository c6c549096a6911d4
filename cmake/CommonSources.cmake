# The platform layer's sources with no Qt in them, named once: the tools'
# common_core library and the fuzzing project (fuzz/, built apart with
# clang) both compile exactly these.
set(TOOLS_COMMON_CORE_SOURCES
  atomic_file.cpp        # whole-file writes through a temporary file
  binary_record.cpp      # fixed-layout record files
  file_search.cpp        # first-match search and folder listing
  file_stamp.cpp         # what identifies one version of a file
  file_system.cpp        # the file-system calls, one seam for faults
  host_path.cpp          # "\"-separated tool paths and host paths
  job.cpp                # jobs' events and results
  numeric_text.cpp       # the numeric text rule
  profile.cpp            # profile (INI) files read and edited
  profile_document.cpp   # the profile editor's line structure
  profile_fill.cpp       # many keys set in one pass
  profile_index.cpp      # a parsed profile file's look-ups
  profile_text.cpp       # profile text encodings and lines
  program_folder.cpp     # the folder the program lies in
  record_folder.cpp      # the folder a job writes one file per record into
  server_folder.cpp      # the server folder a job works on
  server_layout.cpp      # every file of the server folder the tools name
  server_process.cpp     # is this folder's server running?
  status.cpp             # the one failure type
  steady_read.cpp        # reading a file another program may be writing
  text_util.cpp          # small text helpers
  trusted_folder.cpp     # the walk that follows no link the operator did not make
  visible_text.cpp       # names shown with their controls escaped
  app_icons.cpp          # the programs' icons as shapes
)
list(TRANSFORM TOOLS_COMMON_CORE_SOURCES PREPEND ${CMAKE_CURRENT_LIST_DIR}/../common/)
