/* A program of a library user: finds libpelmora installed, through
 * pkg-config or CMake's find_package, and checks one call of each kind. */
#include <pelmora.h>
#include <stdio.h>
#include <string.h>

int main(void) {
  char grid[PELMORA_LOCATOR_SIZE];
  float lat = 0.0f, lon = 0.0f, km = 0.0f;
  if (pelmora_grid_from_lat_long(52.5f, 13.4f, grid, sizeof grid) != PELMORA_OK) return 1;
  if (pelmora_lat_from_grid(grid, strlen(grid), &lat) != PELMORA_OK) return 1;
  if (pelmora_long_from_grid(grid, strlen(grid), &lon) != PELMORA_OK) return 1;
  if (pelmora_distance_from(lat, lon, 0.0f, 1.0f / 0.0f, &km) != PELMORA_FLOATING_POINT) return 1;
  if (strcmp(pelmora_version(), PELMORA_VERSION) != 0) return 1;
  printf("%s %.9g %.9g %s\n", grid, (double)lat, (double)lon,
         pelmora_strerror(PELMORA_FLOATING_POINT));
  return 0;
}
