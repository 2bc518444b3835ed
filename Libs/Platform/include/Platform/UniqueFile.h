// A C stream that closes itself when its owner goes.
#pragma once

#include <cstdio>
#include <memory>

namespace Platform
{

struct FileCloser
{
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

} // namespace Platform
