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
