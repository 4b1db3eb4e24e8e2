#pragma once
// The program's life: the engine assembled for the production (factory, names, file
// repositories, scene configuration and the five scenes), its main loop run and everything taken
// down again. The program entry calls it once; a test may call it in-process over the stand-ins,
// from the working directory the run should read ("KV27.dat", and in developer mode its files).

#include "framework/core/KB_String.h"

class KV27_Program
{
public:
    // The command line as Windows hands it over, without the program name ("/develop" alone
    // switches developer mode on). Returns the application's exit code.
    static int Run(const KB_String& sCommandLine);
};
