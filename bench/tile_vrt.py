#!/usr/bin/env python3
"""Writes a GDAL VRT that mosaics a task's tile folder, GDAL's own route to one image.

usage: tile_vrt.py PROJECT.qrnl OUT.vrt
Reads the project's zoom and tile range; each tile os_X_Y_Z.png becomes one
source of 256 x 256 pixels at its place, georeferenced in EPSG:3857.
"""
import configparser
import os
import sys

HALF = 20037508.342789244


def main():
    project, out = sys.argv[1], sys.argv[2]
    ini = configparser.ConfigParser()
    ini.read(project)
    zoom = int(ini["Zoom"]["Zoom"])
    minx, maxx = int(ini["XY"]["MinX"]), int(ini["XY"]["MaxX"])
    miny, maxy = int(ini["XY"]["MinY"]), int(ini["XY"]["MaxY"])
    folder = os.path.splitext(project)[0]
    side = 2 * HALF / 2 ** zoom
    width, height = (maxx - minx + 1) * 256, (maxy - miny + 1) * 256
    parts = ['<VRTDataset rasterXSize="%d" rasterYSize="%d">' % (width, height),
             '<SRS>EPSG:3857</SRS>',
             '<GeoTransform>%.10f, %.10f, 0, %.10f, 0, %.10f</GeoTransform>'
             % (-HALF + minx * side, side / 256, HALF - miny * side, -side / 256)]
    for band, colour in ((1, "Red"), (2, "Green"), (3, "Blue")):
        parts.append('<VRTRasterBand dataType="Byte" band="%d"><ColorInterp>%s</ColorInterp>' % (band, colour))
        for x in range(minx, maxx + 1):
            for y in range(miny, maxy + 1):
                parts.append('<SimpleSource><SourceFilename>%s/os_%d_%d_%d.png</SourceFilename>'
                             '<SourceBand>%d</SourceBand><SrcRect xOff="0" yOff="0" xSize="256" ySize="256"/>'
                             '<DstRect xOff="%d" yOff="%d" xSize="256" ySize="256"/></SimpleSource>'
                             % (folder, x, y, zoom, band, (x - minx) * 256, (y - miny) * 256))
        parts.append('</VRTRasterBand>')
    parts.append('</VRTDataset>')
    with open(out, "w") as f:
        f.write("\n".join(parts))


if __name__ == "__main__":
    main()
