// The note of the open log file in the suite's temp folder, there while the file is open: a run that
// ends without closing its file (kill -9, the OOM killer, a power cut) leaves it behind, and the next
// run hands that file to the conversion.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

struct OpenFileNote
{
    std::string path;       // written form, as the trace names it
    std::time_t opened = 0; // dates a file whose observations carry no date
};

// "C:\temp\<process name>.open-log-file.txt": one per process name, so two loggers never share one.
std::string openFileNotePath(std::string_view processName);

// Each takes the note's path in written form. Writing and removing sync the note's folder, so they
// belong on the log sink's syncer thread; both return 0 or the errno of the step that failed.
std::optional<OpenFileNote> readOpenFileNote(const std::string& notePath);
int writeOpenFileNote(const std::string& notePath, const OpenFileNote& note);
int removeOpenFileNote(const std::string& notePath);
