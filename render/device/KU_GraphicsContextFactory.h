#pragma once
// What a production registers for each graphics programming interface it supports: a maker of
// one graphics context. The application factory hands out the list; the graphics context manager
// asks each factory once.

class KR_GraphicsContext;

class KU_GraphicsContextFactory
{
public:
    KU_GraphicsContextFactory() = default;
    virtual ~KU_GraphicsContextFactory() = default;

    KU_GraphicsContextFactory(const KU_GraphicsContextFactory&) = delete;
    KU_GraphicsContextFactory& operator=(const KU_GraphicsContextFactory&) = delete;

    // A new context, owned by the caller; null when it cannot be made.
    virtual KR_GraphicsContext* CreateGraphicsContext() = 0;
};
