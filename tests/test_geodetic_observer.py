"""GeodeticObserver: a validated site on the Earth."""

import math

import pytest

from ephemeris import GeodeticObserver


def test_fields_and_default_height():
    observer = GeodeticObserver(-0.5, 51.5)
    assert (observer.longitude_east_deg, observer.latitude_deg, observer.height_m) == (-0.5, 51.5, 0.0)
    assert all(type(value) is float for value in
               (observer.longitude_east_deg, observer.latitude_deg, observer.height_m))


def test_longitude_is_not_reduced():
    assert GeodeticObserver(725.5, 0, -30).longitude_east_deg == 725.5


@pytest.mark.parametrize("latitude", [90, -90, 90.0, -90.0])
def test_poles_are_valid(latitude):
    assert GeodeticObserver(0, latitude).latitude_deg == latitude


@pytest.mark.parametrize("latitude", [90.5, -90.000001, 1e300])
def test_latitudes_beyond_the_poles_are_refused(latitude):
    with pytest.raises(ValueError) as raised:
        GeodeticObserver(0, latitude)
    assert str(raised.value) == "geodetic latitude must be finite and within [-90, 90] degrees"


@pytest.mark.parametrize("values", [(math.inf, 0), (0, math.nan), (0, 0, -math.inf), (math.nan, 95)])
def test_non_finite_values_are_refused(values):
    with pytest.raises(ValueError) as raised:
        GeodeticObserver(*values)
    assert str(raised.value) == "Cartesian state must be finite"


@pytest.mark.parametrize(("observer", "text"), [
    (GeodeticObserver(0, 90), "GeodeticObserver(longitude_east_deg=0, latitude_deg=90, height_m=0)"),
    (GeodeticObserver(-0.5, 51.5), "GeodeticObserver(longitude_east_deg=-0.5, latitude_deg=51.5, height_m=0)"),
    (GeodeticObserver(1e-7, -0.0, 2451545.0),
     "GeodeticObserver(longitude_east_deg=0.0000001, latitude_deg=-0, height_m=2451545)"),
])
def test_repr_uses_plain_numbers(observer, text):
    assert repr(observer) == text


def test_attributes_are_read_only():
    observer = GeodeticObserver(0, 0)
    for name in ("longitude_east_deg", "latitude_deg", "height_m"):
        with pytest.raises(AttributeError):
            setattr(observer, name, 1.0)
