#pragma once

#include <string>

#include "platform/IFileSystem.h"

// Folder work of the installation over the file-system seam. Relative paths are native.
namespace folder_tree {

// The folder part of a relative path, without its last separator; "" at the top level.
std::string ParentOf(const std::string& relative);

// Makes every missing level of `relative` below `root`.
void Ensure(IFileSystem& files, const std::string& root, const std::string& relative);

// True when the folder holds nothing at all.
bool IsEmpty(IFileSystem& files, const std::string& folder);

// Removes the folder with everything in it; a folder that is not there is no failure. Links
// are removed as links, never followed.
void Remove(IFileSystem& files, const std::string& folder);

}  // namespace folder_tree
