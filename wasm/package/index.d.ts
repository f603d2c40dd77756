// Types of the pelmora package: Maidenhead locators, bearings and
// great-circle distances, bit for bit as Pelmora.dll computes them.

/** The library's version, "MAJOR.MINOR.PATCH". */
export const version: string;

/** A calculation failed as the DLL's method fails. */
export class PelmoraError extends Error {
  constructor(number: number, description: string, value?: number | null, index?: number | null);
  /** The DLL's error number: 6 (Overflow), 5 (Invalid procedure call or argument), 513 (Floating-point error). */
  readonly number: number;
  /** The DLL's description of the error. */
  readonly description: string;
  /** What the method's out-parameter holds then: 0 for the number methods, null for the locators. */
  readonly value: number | null;
  /** The element of a batch that failed, or null. */
  readonly index: number | null;
}

/**
 * A batch argument: a Float32Array (used bit for bit), a Float64Array, any
 * other typed array of numbers or an array of numbers (each rounded to
 * float32; one beyond the float32 range is a RangeError).
 */
export type Numbers = Float32Array | Float64Array | Int8Array | Uint8Array | Uint8ClampedArray | Int16Array |
  Uint16Array | Int32Array | Uint32Array | readonly number[];
/** A number for every element, or a batch. */
export type NumberArg = number | Numbers;

/** Without statuses a batch throws PelmoraError (with its index) at the first failure. */
export interface BatchOptions {
  statuses?: false;
}
/** With statuses a batch returns every result and the error number of each element (0 for success). */
export interface StatusOptions {
  statuses: true;
}
export interface NumberResults {
  /** The results; a failed element holds the out-parameter's value (0). */
  values: Float32Array;
  statuses: Int32Array;
}
export interface LocatorResults {
  /** The locators; null where the element failed. */
  values: (string | null)[];
  statuses: Int32Array;
}

/** The six-character locator of a position: the DLL's GridFromLatLong. */
export function gridFromLatLong(lat: number, lon: number): string;
export function gridFromLatLong(lat: NumberArg, lon: NumberArg, options?: BatchOptions): string[];
export function gridFromLatLong(lat: NumberArg, lon: NumberArg, options: StatusOptions): LocatorResults;

/** The six-character locator of a position: the DLL's sLocator. */
export function sLocator(lat: number, lon: number): string;
export function sLocator(lat: NumberArg, lon: NumberArg, options?: BatchOptions): string[];
export function sLocator(lat: NumberArg, lon: NumberArg, options: StatusOptions): LocatorResults;

/** The latitude of the centre of a locator's square (4 characters) or subsquare (6): the DLL's LatFromGrid. */
export function latFromGrid(grid: string): number;
export function latFromGrid(grid: readonly string[], options?: BatchOptions): Float32Array;
export function latFromGrid(grid: readonly string[], options: StatusOptions): NumberResults;

/** The longitude of the centre of a locator's square or subsquare: the DLL's LongFromGrid. */
export function longFromGrid(grid: string): number;
export function longFromGrid(grid: readonly string[], options?: BatchOptions): Float32Array;
export function longFromGrid(grid: readonly string[], options: StatusOptions): NumberResults;

/** The bearing from my position to the other, whole degrees 0..360 clockwise from north: the DLL's Azimut. */
export function azimut(myLat: number, myLon: number, lat: number, lon: number): number;
export function azimut(myLat: NumberArg, myLon: NumberArg, lat: NumberArg, lon: NumberArg,
  options?: BatchOptions): Float32Array;
export function azimut(myLat: NumberArg, myLon: NumberArg, lat: NumberArg, lon: NumberArg,
  options: StatusOptions): NumberResults;

/** Kilometres plus 0.5 from a to b on the great circle (radius 6366.7068 km): the DLL's DistanceFrom. */
export function distanceFrom(aLat: number, aLon: number, bLat: number, bLon: number): number;
export function distanceFrom(aLat: NumberArg, aLon: NumberArg, bLat: NumberArg, bLon: NumberArg,
  options?: BatchOptions): Float32Array;
export function distanceFrom(aLat: NumberArg, aLon: NumberArg, bLat: NumberArg, bLon: NumberArg,
  options: StatusOptions): NumberResults;

/** The arc cosine in radians: the DLL's ArcCos (never fails). */
export function arcCos(x: number): number;
export function arcCos(x: Numbers, options?: BatchOptions): Float32Array;
export function arcCos(x: Numbers, options: StatusOptions): NumberResults;

/** A locator's cell in degrees, each figure the double nearest the exact value. */
export interface Cell {
  /** The centre. */
  lat: number;
  lon: number;
  /** The south-west corner. */
  south: number;
  west: number;
  /** The size: degrees of latitude, of longitude. */
  height: number;
  width: number;
  /** 2 to 12. */
  characters: number;
}

/** The short path (distanceFrom, azimut) and the long one the other way round the great circle, as float32. */
export interface Path {
  /** Kilometres plus 0.5. */
  distance: number;
  /** Whole degrees 0..360. */
  bearing: number;
  /** Kilometres plus 0.5 the other way round: 40004.2 - distance (40003.6992 for the same place). */
  longDistance: number;
  /** The reverse bearing. */
  longBearing: number;
}

/**
 * The locator of 2, 4, ..., 12 characters (default 6) whose cell holds the exact position (double
 * degrees, not rounded); RangeError outside the grid, for NaN or another count.
 */
export function locator(lat: number, lon: number, characters?: number): string;
/** The centre of a locator of 2 to 12 characters, as doubles; RangeError for a text that is no locator. */
export function locatorCentre(locator: string): { lat: number; lon: number };
/** The cell of a locator of 2 to 12 characters; RangeError for a text that is no locator. */
export function locatorCell(locator: string): Cell;
/** How many characters the locator has (2 to 12), or 0 when the text is no locator. */
export function isLocator(text: string): number;
/**
 * The path between the centres of two locators of 2 to 12 characters (the DLL's centres for 4 and 6);
 * RangeError for a text that is no locator, PelmoraError (its value the Path) when a part fails.
 */
export function gridPath(from: string, to: string): Path;
/** The path from my position to the other; PelmoraError 513 (its value the Path) when a part fails. */
export function positionPath(myLat: number, myLon: number, lat: number, lon: number): Path;
/** The long path's distance from a short path's (0..20002.0996); RangeError outside it. */
export function longPathDistance(distance: number): number;
/** The reverse bearing (0..360); RangeError outside it. */
export function longPathBearing(bearing: number): number;
