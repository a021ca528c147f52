#pragma once

#include <string>
#include <vector>

// For the console programs' entry points: makes the console show UTF-8 texts (Croatian letters)
// and returns the command line's arguments, the program's name first, as UTF-8 whatever the
// machine's code page. Standard input and output are used as they are otherwise.
std::vector<std::string> ConsoleArguments(int argc, char** argv);

// Puts the console back as ConsoleArguments found it (its code pages). Runs by itself when the
// program returns from main or calls exit; a program that ends with _Exit calls it first.
void RestoreConsole();
