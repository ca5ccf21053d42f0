<?xml version="1.0" encoding="UTF-8"?>
<!-- Quorvelle headlines report: the page of one category. Lists its feeds
     with their latest headlines, the categories held in it, and every other
     category. Names and titles are written as text only. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>

  <xsl:variable name="current" select="/Quorvelle_Feeds/@name"/>

  <xsl:template match="/">
    <xsl:apply-templates select="Quorvelle_Feeds"/>
  </xsl:template>

  <xsl:template match="Quorvelle_Feeds">
    <div class="q-index q-category">
      <nav class="q-crumbs">
        <a href="../index.html" data-root-link="index.html">&#8592; All categories</a>
      </nav>
      <h1 class="q-category-name"><xsl:value-of select="@name"/></h1>
      <section class="q-feeds">
        <xsl:choose>
          <xsl:when test="Quorvelle_Categories/Quorvelle_Feed[@enabled='true']">
            <ul class="q-feed-list">
              <xsl:apply-templates select="Quorvelle_Categories/Quorvelle_Feed"/>
            </ul>
          </xsl:when>
          <xsl:otherwise>
            <p class="q-note">No feeds are switched on in this category.</p>
          </xsl:otherwise>
        </xsl:choose>
      </section>
      <!-- Categories held in this one have feeds (or categories) of their own. -->
      <xsl:if test="Quorvelle_Categories/Quorvelle_Category[*]">
        <section class="q-categories">
          <h2>Inside <xsl:value-of select="@name"/></h2>
          <ul class="q-category-list">
            <xsl:for-each select="Quorvelle_Categories/Quorvelle_Category[*]">
              <li>
                <xsl:call-template name="category-link">
                  <xsl:with-param name="prefix" select="''"/>
                  <xsl:with-param name="n"
                    select="count(preceding-sibling::Quorvelle_Category[@name = current()/@name]) + 1"/>
                </xsl:call-template>
              </li>
            </xsl:for-each>
          </ul>
        </section>
      </xsl:if>
      <!-- The navigation list: every category of the feed list. -->
      <xsl:if test="Quorvelle_Categories/Quorvelle_Category[not(*)]">
        <nav class="q-categories q-other">
          <h2>Other categories</h2>
          <ul class="q-category-list">
            <xsl:for-each select="Quorvelle_Categories/Quorvelle_Category[not(*)]">
              <li>
                <xsl:choose>
                  <xsl:when test="@name = $current">
                    <span class="q-current" aria-current="page"><xsl:value-of select="@name"/></span>
                  </xsl:when>
                  <xsl:otherwise>
                    <!-- The list names the categories of the whole list: the
                         page's script points these links at the report's top
                         folder, however deep this category lies. -->
                    <xsl:call-template name="category-link">
                      <xsl:with-param name="prefix" select="'../'"/>
                      <xsl:with-param name="probe" select="true()"/>
                      <xsl:with-param name="n"
                        select="count(preceding-sibling::Quorvelle_Category[not(*)][@name = current()/@name]) + 1"/>
                    </xsl:call-template>
                  </xsl:otherwise>
                </xsl:choose>
              </li>
            </xsl:for-each>
          </ul>
        </nav>
      </xsl:if>
    </div>
  </xsl:template>

  <xsl:template match="Quorvelle_Feed">
    <xsl:if test="@enabled = 'true'">
      <li class="q-feed-entry">
        <h2>
          <a href="{count(preceding-sibling::Quorvelle_Feed) + 1}.html">
            <xsl:choose>
              <xsl:when test="normalize-space(@title) != ''"><xsl:value-of select="@title"/></xsl:when>
              <xsl:otherwise><xsl:value-of select="@src"/></xsl:otherwise>
            </xsl:choose>
          </a>
        </h2>
        <div class="q-feed-slot" data-src="{@src}" data-limit="3">
          <p class="q-loading">Loading headlines&#8230;</p>
        </div>
      </li>
    </xsl:if>
  </xsl:template>

  <xsl:template name="category-link">
    <xsl:param name="prefix"/>
    <xsl:param name="probe" select="false()"/>
    <xsl:param name="n" select="1"/>
    <xsl:variable name="folder">
      <xsl:call-template name="folder-name">
        <xsl:with-param name="name" select="@name"/>
        <xsl:with-param name="n" select="$n"/>
      </xsl:call-template>
    </xsl:variable>
    <a class="q-category-link" data-folder="{$folder}" data-prefix="{$prefix}" href="{$prefix}{$folder}/index.html">
      <xsl:if test="$probe">
        <xsl:attribute name="data-probe">1</xsl:attribute>
        <xsl:attribute name="data-root">1</xsl:attribute>
      </xsl:if>
      <xsl:value-of select="@name"/>
    </a>
  </xsl:template>

  <!-- The folder of a category, as the report's generator names it: its
       name, except that '/' becomes a blank and an empty name, "." or ".."
       get a leading '_'; a name of one of the report's own files (index.html,
       details.xsl, 3.xml, ...) and the n-th category of a name repeated at
       one level (n > 1) get " [n]" appended. -->
  <xsl:template name="folder-name">
    <xsl:param name="name"/>
    <xsl:param name="n" select="1"/>
    <xsl:variable name="t" select="translate($name, '/', ' ')"/>
    <xsl:variable name="base">
      <xsl:if test="$t = '' or $t = '.' or $t = '..'">_</xsl:if>
      <xsl:value-of select="$t"/>
    </xsl:variable>
    <xsl:variable name="number" select="substring-before($base, '.')"/>
    <xsl:variable name="extension" select="substring-after($base, '.')"/>
    <xsl:value-of select="$base"/>
    <xsl:if test="$n &gt; 1 or $base = 'index.html' or $base = 'index.xml' or $base = 'index.xsl'
                  or $base = 'details.xsl' or $base = 'ReportErrors.js'
                  or ($number != '' and translate($number, '0123456789', '') = ''
                      and ($extension = 'xml' or $extension = 'html'))">
      <xsl:value-of select="concat(' [', $n, ']')"/>
    </xsl:if>
  </xsl:template>
</xsl:stylesheet>
