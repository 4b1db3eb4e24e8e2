#pragma once
// Opening a file of the asset tree with the program the operating system associates with it.

// Joins the file manager's working directory and the relative path with "/", turns backslashes
// into forward slashes and hands the path to the shell. False when the path is null, there is no
// file manager, or the shell refused (a missing file is no error worth more than that).
bool tools_openFile(const char* pRelativePath);
