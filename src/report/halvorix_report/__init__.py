"""Reads the results of a halvorix run and turns them into figures, tidy tables and a page."""
