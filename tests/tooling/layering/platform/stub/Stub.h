#pragma once

struct Stub
{
};
