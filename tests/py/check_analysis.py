#!/usr/bin/python3
"""The analysis formats (cf, csv) read back by tools that are not tavro.

    check_analysis.py readers     TAVRO SOURCE_DIR CORPUS_DIR
    check_analysis.py conformance TAVRO SOURCE_DIR CF_DIR

readers: netCDF4, xarray and pandas open the files of the example and of
the corpus; values against the bulletins, missing values, times, the CSV
against the netCDF file, open_mfdataset over three hours, appends.
conformance: every units string through udunits2 against the canonical
units of its standard_name in the CF standard-name table, every
standard_name in that table, and the discrete-sampling-geometry attributes
as ncdump -h prints them.

Exits 77 (skipped, with a message) when a reader, a tool or the CF table is
missing, 1 on the first failed check.
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

SKIP = 77


def skip(why):
    print("SKIPPED: " + why)
    sys.exit(SKIP)


def check(cond, what):
    if not cond:
        raise AssertionError(what)


class Run:
    """A temporary directory with the example's name conventions and
    stations, and the converter run in it."""

    def __init__(self, tavro, source):
        self.tavro = tavro
        self.dir = tempfile.mkdtemp(prefix="tavro-analysis-")
        for name in ("23120712.syn", "name_conv", "syn.cty"):
            shutil.copy(os.path.join(source, "examples", name), self.dir)

    def __call__(self, *args, status=0):
        r = subprocess.run([self.tavro, "-ba", *args], cwd=self.dir, capture_output=True, text=True)
        check(r.returncode == status, "tavro %s: status %d, not %d\n%s%s"
              % (" ".join(args), r.returncode, status, r.stdout, r.stderr))
        return r

    def path(self, name):
        return os.path.join(self.dir, name)

    def close(self):
        shutil.rmtree(self.dir, ignore_errors=True)


def near(a, b, tol):
    return abs(float(a) - float(b)) <= tol


# ----- readers ---------------------------------------------------------------

# CSV column unit -> (factor, offset) to the netCDF variable's unit, and the
# rounding of the CSV's decimals (half a unit of the last one).
def csv_to_cf(column, name):
    suffix = column[len(name):]
    return {
        "_degc": (1.0, 273.15), "_hpa": (100.0, 0.0), "_hpa_3h": (100.0 / 10800.0, 0.0),
        "_okta": (1.0 / 8.0, 0.0), "_min": (60.0, 0.0), "_mm": (1.0, 0.0),
    }.get(suffix, (1.0, 0.0))


def readers(tavro, source, corpus):
    try:
        import dask  # noqa: F401  (xarray's open_mfdataset needs it)
        import netCDF4
        import numpy as np
        import pandas as pd
        import xarray as xr
    except ImportError as e:
        skip("the Python readers are not installed (python3-netcdf4, python3-xarray, "
             "python3-dask, python3-pandas): %s" % e)
    run = Run(tavro, source)
    try:
        run("-pf", "over", "-of", "cf:ex.nc", "23120712.syn")
        run("-pf", "over", "-of", "csv:ex.csv", "23120712.syn")
        ds = xr.open_dataset(run.path("ex.nc"))
        n = ds.sizes["obs"]
        check(n == 13, "13 observations in the example, not %d" % n)
        check(ds.attrs["Conventions"] == "CF-1.8" and ds.attrs["featureType"] == "point", "DSG attributes")
        check(ds.attrs["institution"] == "unknown", "institution without the resource")
        check(ds.attrs["source"].startswith("tavro "), "source")
        # Times as datetime64, equal to the observation time.
        check(ds.time.dtype == np.dtype("datetime64[ns]"), "time decoded as datetime64")
        check(bool((ds.time.values == np.datetime64("2023-12-07T12:00:00")).all()), "times of the example")
        check(ds.attrs["time_coverage_start"] == "2023-12-07T12:00:00Z" ==
              ds.attrs["time_coverage_end"], "time coverage")
        check(near(ds.attrs["geospatial_lat_min"], 33.94, 1e-4) and
              near(ds.attrs["geospatial_lon_min"], -123.4, 1e-4) and
              near(ds.attrs["geospatial_lat_max"], 41.98, 1e-4) and
              near(ds.attrs["geospatial_lon_max"], -73.76, 1e-4), "space coverage")

        # The first report against its bulletin:
        # 72403 11560 82705 10150 20089 39981 40132 57010 60001 70222 8327/ 333 10178 20083
        o = ds.isel(obs=0)
        check(str(o.station_id.values) == "72403" and int(o.wmo_id) == 72403, "identifiers")
        check(str(o.report_type.values) == "land", "report type")
        check(str(o.station_name.values) == "WASHINGTON_DULLES", "station name")
        check(near(o.latitude, 38.95, 1e-4) and near(o.longitude, -77.45, 1e-4) and near(o.altitude, 95, 1e-3),
              "station position from the station file")
        expect = {
            "air_temperature": (288.15, 1e-3), "dew_point_temperature": (282.05, 1e-3),
            "air_pressure_at_mean_sea_level": (101320, 0.5), "wind_from_direction": (270, 0),
            "wind_speed": (5 * 1852 / 3600, 1e-3), "cloud_area_fraction": (1.0, 0),
            "visibility_in_air": (10000, 100), "cloud_base_altitude": (3000 * 0.3048 + 95, 1),
            "tendency_of_air_pressure": (-100 / 10800, 1e-6), "precipitation_amount_6h": (0.0, 0),
            "air_temperature_max": (290.95, 1e-3), "air_temperature_min": (281.45, 1e-3),
            "low_cloud_type": (2, 0), "middle_cloud_type": (7, 0), "pressure_tendency_characteristic": (7, 0),
        }
        for name, (want, tol) in expect.items():
            check(near(o[name].values, want, tol), "%s: %s, not %s" % (name, o[name].values, want))
        # Not reported: NaN, whatever the type on disk.
        for name in ("wind_speed_of_gust", "high_cloud_type", "present_weather", "precipitation_amount_24h",
                     "sea_surface_temperature"):
            check(bool(np.isnan(o[name].values)), name + " missing as NaN")
        check(int(ds.present_weather.values[9]) == 80, "present weather 78062 of the correction")
        # The ship keeps its own position; no station name, no WMO number.
        ship = ds.isel(obs=10)
        check(str(ship.report_type.values) == "ship" and near(ship.latitude, 41.2, 1e-4) and
              near(ship.longitude, -123.4, 1e-4), "ship position")
        check(bool(np.isnan(ship.wmo_id.values)) and str(ship.station_name.values) == "", "ship without station")
        check(near(ship.sea_surface_temperature, 288.15, 1e-3), "ship SST")

        # netCDF4 itself: strings, chunking and deflate.
        nc = netCDF4.Dataset(run.path("ex.nc"))
        check(nc.data_model == "NETCDF4", "netCDF-4")
        check(nc.dimensions["obs"].isunlimited(), "obs unlimited")
        # Texts: characters along a length dimension, read as strings.
        check(nc.variables["station_id"].dimensions == ("obs", "station_id_len"), "station_id as characters")
        check(ds.station_id.dtype.kind in "OU", "station_id read as strings: %s" % ds.station_id.dtype)
        at = nc.variables["air_temperature"]
        check(at.chunking() == [4096], "chunks of 4096: %s" % at.chunking())
        check(at.filters()["zlib"] and at.filters()["complevel"] == 1, "deflate level 1")
        nc.close()

        # The CSV: the same variables in the same order, the same values.
        df = pd.read_csv(run.path("ex.csv"), parse_dates=["time"], keep_default_na=False, na_values=[""])
        check(len(df) == 13, "13 rows")
        check(str(df.time.dtype).startswith("datetime64[ns"), "CSV time parsed: %s" % df.time.dtype)
        check(bool((df.time == pd.Timestamp("2023-12-07T12:00:00Z")).all()), "CSV times")
        cols = list(df.columns)
        nc = netCDF4.Dataset(run.path("ex.nc"))
        order = list(nc.variables)
        nc.close()
        check(len(cols) == len(order), "a column per variable")
        for col, name in zip(cols, order):
            check(col == name or col.startswith(name + "_"), "column %s for variable %s" % (col, name))
            v = ds[name].values
            c = df[col].values
            if name == "time":
                continue
            if v.dtype.kind in "OU":
                check([("" if x is None else str(x)) for x in v] ==
                      [("" if isinstance(x, float) else str(x)) for x in c], "strings of " + name)
                continue
            factor, offset = csv_to_cf(col, name)
            for i in range(len(v)):
                if np.isnan(v[i]):
                    check(np.isnan(c[i]), "%s row %d: missing in netCDF, %s in CSV" % (name, i, c[i]))
                    continue
                check(not np.isnan(c[i]), "%s row %d: missing in CSV" % (name, i))
                # The CSV rounds to its decimals: at most half a unit of 0.1
                # (whole units for m, degrees, minutes and wave periods).
                tol = (0.5 if col.endswith(("_m", "_deg", "_min", "_s", "_okta", "_code")) or name == "wmo_id"
                       else 0.05) * factor + 1e-6 * abs(float(v[i]))
                if col.endswith("_mm") and name == "surface_snow_thickness":
                    factor, tol = 0.001, 0.0005
                check(near(c[i] * factor + offset, v[i], tol + 1e-9),
                      "%s row %d: CSV %s, netCDF %s" % (col, i, c[i], v[i]))
        ds.close()

        # Append: rows without a second header; observations after those
        # there; the coverage and the history grow.
        romania = sorted(glob.glob(os.path.join(corpus, "wmo-im_wis2box", "romania",
                                                "A_SMRO01YRBK*_C_EDZW_*0502_*.txt")))
        if len(romania) < 3:
            skip("the corpus (Romanian bulletins of three hours) is absent: %s" % corpus)
        run("-pf", "over", "-of", "csv:ap.csv", "23120712.syn")
        run("-pf", "app", "-of", "csv:ap.csv", "23120712.syn")
        text = open(run.path("ap.csv")).read()
        check(text.count("station_id,") == 1 and text.count("\n") == 27, "CSV append: one header, 26 rows")
        before = xr.open_dataset(run.path("ex.nc")).load()
        rng = ["-pa", "range=-1440:1440"]
        # One Romanian station gets a position: the space coverage grows.
        with open(run.path("syn.cty"), "a") as cty:
            cty.write("SATU_MARE           SM RO SMR  1  47.78   22.88  123 15020 0\n")
        run("-pf", "app", *rng, "-of", "cf:ex.nc", romania[0])
        after = xr.open_dataset(run.path("ex.nc"))
        check(after.sizes["obs"] == 13 + 23, "appended observations: %d" % after.sizes["obs"])
        for name in ("air_temperature", "station_id", "time", "latitude"):
            check(before[name].equals(after[name].isel(obs=slice(0, 13))), "appended: first 13 of " + name)
        check(str(after.station_id.values[13]) == "15015", "first appended station")
        check(after.attrs["time_coverage_start"] == "2023-01-17T12:00:00Z" and
              after.attrs["time_coverage_end"] == "2023-12-07T12:00:00Z", "time coverage after the append")
        # The other Romanian stations are not in the station file: no position.
        check(int(np.isnan(after.latitude.values[13:]).sum()) == 22, "no position without the station")
        check(near(after.attrs["geospatial_lat_max"], 47.78, 1e-4) and
              near(after.attrs["geospatial_lon_max"], 22.88, 1e-4) and
              near(after.attrs["geospatial_lon_min"], -123.4, 1e-4), "space coverage after the append")
        hist = after.attrs["history"].split("\n")
        check(len(hist) == 2 and "cf:ex.nc" in hist[0] and "-pf app" in hist[1] and
              "A_SMRO01YRBK" in hist[1], "a history line per run: %r" % hist)
        after.close()

        # Three hours of a day, one file each, read as one.
        files = []
        for i, path in enumerate(romania[:3]):
            out = "ro%d.nc" % i
            run("-pf", "over", *rng, "-of", "cf:" + out, path)
            files.append(run.path(out))
        mf = xr.open_mfdataset(files, combine="nested", concat_dim="obs")
        check(mf.sizes["obs"] == 69, "three files of 23: %d" % mf.sizes["obs"])
        hours = sorted(set(mf.time.values.astype("datetime64[h]").astype(str)))
        check(hours == ["2023-01-17T12", "2023-01-17T18", "2023-01-18T00"], "hours: %s" % hours)
        check(set(mf.data_vars) == set(xr.open_dataset(files[0]).data_vars), "same variables in every hour")
        mf.close()

        # Resources: the institution and the deflate level.
        run("-pf", "over", "-inst", "Test Centre, Ankara", "-cfd", "5", "-of", "cf:res.nc", "23120712.syn")
        nc = netCDF4.Dataset(run.path("res.nc"))
        check(nc.institution == "Test Centre, Ankara", "institution")
        check(nc.variables["air_temperature"].filters()["complevel"] == 5, "deflate level 5")
        nc.close()
        run("-pf", "over", "-cfd", "0", "-of", "cf:raw.nc", "23120712.syn")
        nc = netCDF4.Dataset(run.path("raw.nc"))
        check(not nc.variables["air_temperature"].filters()["zlib"], "deflate level 0: none")
        nc.close()
    finally:
        run.close()
    print("readers: all checks passed")


# ----- conformance ------------------------------------------------------------


def canonical_units(table):
    text = open(table, encoding="utf-8").read()
    units = {}
    for m in re.finditer(r'<entry id="([^"]+)">\s*<canonical_units>([^<]*)</canonical_units>', text):
        units[m.group(1)] = m.group(2).strip()
    for m in re.finditer(r'<alias id="([^"]+)">\s*<entry_id>([^<]+)</entry_id>', text):
        if m.group(2) in units:
            units.setdefault(m.group(1), units[m.group(2)])
    return units


def convertible(have, want):
    r = subprocess.run(["udunits2", "-H", have, "-W", want], capture_output=True, text=True,
                       stdin=subprocess.DEVNULL)
    bad = "not convertible" in r.stderr or "Don't recognize" in r.stderr or r.returncode != 0
    return not bad and "=" in r.stdout


def conformance(tavro, source, cf_dir):
    table = os.path.join(cf_dir, "cf-standard-name-table.xml")
    if not os.path.exists(table):
        skip("the CF standard-name table is absent: %s" % table)
    for tool in ("udunits2", "ncdump"):
        if not shutil.which(tool):
            skip("%s is not installed (udunits-bin, netcdf-bin)" % tool)
    run = Run(tavro, source)
    try:
        run("-pf", "over", "-of", "cf:ex.nc", "23120712.syn")
        head = subprocess.run(["ncdump", "-h", run.path("ex.nc")], capture_output=True, text=True,
                              check=True).stdout
    finally:
        run.close()
    check(re.search(r"obs = UNLIMITED", head), "obs unlimited")
    for att in (':Conventions = "CF-1.8"', ':featureType = "point"', ':institution = "unknown"',
                ":title = ", ":source = ", ":history = ", ":date_created = ", ":time_coverage_start = ",
                ":time_coverage_end = ", ":geospatial_lat_min = ", ":geospatial_lon_max = "):
        check(att in head, "global attribute " + att)
    variables = {}
    for m in re.finditer(r"\t(\w+) (\w+)\(obs\) ;\n((?:\t\t.*\n)*)", head):
        atts = dict(re.findall(r'\t\t\w+:(\w+) = "?(.*?)"? ;\n', m.group(3)))
        variables[m.group(2)] = (m.group(1), atts)
    check(len(variables) >= 30, "variables found by ncdump: %d" % len(variables))
    units = canonical_units(table)
    for name, (kind, atts) in variables.items():
        check("long_name" in atts, name + ": long_name")
        if kind in ("float", "int"):
            check("_FillValue" in atts, name + ": _FillValue")
        if kind != "string" and name not in ("time", "latitude", "longitude", "altitude", "wmo_id"):
            check(atts.get("coordinates") == "time latitude longitude altitude", name + ": coordinates")
        if "units" in atts:
            have = atts["units"]
            want = "s" if name == "time" else units.get(atts.get("standard_name"), "1")
            if name == "time":
                check(convertible(have, "days since 2000-01-01"), "time units " + have)
            else:
                check(convertible(have, want), "%s: units %s not convertible to %s" % (name, have, want))
        if "standard_name" in atts:
            check(atts["standard_name"] in units, "%s: standard_name %s not in the CF table"
                  % (name, atts["standard_name"]))
        if "comment" in atts and kind == "int" and name != "wmo_id":
            check("WMO code table" in atts["comment"], name + ": comment naming the WMO table")
    print("conformance: %d variables checked" % len(variables))


def main():
    if len(sys.argv) != 5 or sys.argv[1] not in ("readers", "conformance"):
        print(__doc__)
        return 2
    mode, tavro, source, extra = sys.argv[1:]
    tavro = os.path.abspath(tavro)
    try:
        (readers if mode == "readers" else conformance)(tavro, source, extra)
    except AssertionError as e:
        print("FAILED: %s" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
