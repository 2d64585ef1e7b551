// Files of the command-line host: inputs opened only when they are regular
// files, and outputs written under a temporary name and renamed only when
// complete, so that a failed or interrupted run leaves an existing file as
// it was and nothing of its own behind. Failures throw HostError with the
// one-line message the tool prints.
#pragma once

#include <string>

namespace vsthost {

// An input file, open for reading. A FIFO, a device or a folder is refused
// without blocking in open (a FIFO with no writer would wait for ever).
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    int fd() const { return handle; }

private:
    int handle = -1;
};

// An output file: created as path.XXXXXX beside the final name, removed on
// destruction or by a fatal signal unless commit() renamed it into place.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    int fd() const { return handle; }
    void write_all(const std::string& data);
    // Closes the file and renames it to the final name.
    void commit();

private:
    std::string final_path;
    std::string temp_path;
    int handle = -1;
    int slot = -1;  // in the signal handler's list while not committed
    bool committed = false;
};

}  // namespace vsthost
