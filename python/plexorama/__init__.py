"""Surfaces and shapes for the plexorama viewer, made with numpy.

A surface is a triangle list: an array of shape (n, m), three rows per
triangle, m coordinates per vertex (4 to 255), with one unit normal per
vertex in an array of the same shape. Shapes beside surfaces (polylines,
points, polygons) are written as Geomview's nSKEL and nOFF files.

    write_klein, read_klein   KLEIN files (layout in plexorama.klein)
    grid_surface              a parametrised surface sampled on a grid
    surface_normals           the viewer's choice of normal, from tangents
    triangle_normals          that choice, one normal per triangle
    fit, fits                 centring and scaling into the view's ball
    show, picture, clip       the viewer's window on a surface or a list of
                              shapes, or a picture or a clip of it for a
                              notebook (plexorama.viewer)
    view                      the interactive viewer in a notebook
    write_html                a one-file web page of a surface, opening at a view
    lines, points             polylines and points in R^m (plexorama.shapes)
    write_skel, write_off     a shape as an nSKEL or nOFF file
    polytope                  the six regular 4-polytopes
    hopf, torus_knot          Hopf fibres and torus knots on the 3-sphere
    double_curve              where the surface's shadow crosses itself in a view,
                              and the points of the surface above (plexorama.crossing)
"""
from .crossing import double_curve
from .curves import hopf, torus_knot
from .html import view, write_html
from .klein import read_klein, write_klein
from .normals import surface_normals, triangle_normals
from .polytopes import polytope
from .shapes import lines, points, write_off, write_skel
from .surface import VIEW_RADIUS, fit, fits, grid_surface
from .viewer import clip, picture, show

__all__ = ["VIEW_RADIUS", "clip", "double_curve", "fit", "fits", "grid_surface", "hopf", "lines", "picture", "points",
           "polytope", "read_klein", "show", "surface_normals", "torus_knot", "triangle_normals", "view", "write_html",
           "write_klein", "write_off", "write_skel"]
