// centre.h: where the dialog goes so that it is centred on the desktop.
#ifndef QOX_CENTRE_H
#define QOX_CENTRE_H

// Halves with the remainder dropped towards zero, so a dialog one pixel
// wider than the desktop lands at 0, not -1.
inline long centre_at(long desktop_extent, long dialog_extent)
{
    return (desktop_extent - dialog_extent) / 2;
}

#endif
