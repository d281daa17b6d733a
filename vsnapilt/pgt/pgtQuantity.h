// Quantities and points written with units in physics text: "1.5 [cm]", "0 [m], 0 [m], 1 [mm]",
// converted with the units library. The reader must have initialised the units library (loading
// does). These functions record no error of their own: their callers say what failed.
#ifndef PGT_QUANTITY_H
#define PGT_QUANTITY_H

struct pgtHandle;

// "<number> [<unit>]" converted to units (scale and offset): 1, or 0 when the text does not read
// or the unit does not convert.
int pgtReadQuantity(pgtHandle* h, const char* text, const char* units, double* value);
// "<x> [<u>], <y> [<u>], <z> [<u>]", each part with its own unit, scaled into units (no offset:
// a point is a difference from the origin).
int pgtReadVector(pgtHandle* h, const char* text, const char* units, double values[3]);
// The parameters "<stem> X Coord", "<stem> Y Coord" and "<stem> Z Coord" of object, each a
// quantity in units; 0 at the first that is missing or unreadable.
int pgtReadPoint(pgtHandle* h, const char* object, const char* stem, const char* units, double values[3]);
// 1 and the vector scaled to length 1; 0 and the vector unchanged when its length is below 1e-300
// (or not a number).
int pgtNormalise(pgtHandle* h, double v[3]);
// A copy of text (NULL for NULL); error 4 when memory runs out.
char* cloneString(pgtHandle* h, const char* text);

#endif
