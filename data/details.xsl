<?xml version="1.0" encoding="UTF-8"?>
<!-- Quorvelle headlines report: the page of one feed, and the feed itself.
     Matches the report's per-feed file (Quorvelle_Feeds naming one feed by
     its address) and the feed documents RSS 0.9x/2.0, RSS 1.0 (RDF) and
     Atom (0.3 and 1.0), whatever their namespace prefixes.
     Feed text is written as text only; links are kept for http, https and
     mailto addresses. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:output method="html" encoding="UTF-8" indent="no"/>

  <!-- How many items to show; 0 shows them all. -->
  <xsl:param name="limit" select="0"/>
  <!-- The most items any page shows (0: no cap); set by the renderer in the
       core, so one feed of thousands of items stays one box of a fair size. -->
  <xsl:param name="cap" select="0"/>

  <xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>
  <xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>

  <xsl:template match="/">
    <xsl:choose>
      <xsl:when test="Quorvelle_Feeds">
        <xsl:apply-templates select="Quorvelle_Feeds"/>
      </xsl:when>
      <xsl:when test="*[local-name()='rss' or local-name()='channel']">
        <xsl:call-template name="feed">
          <xsl:with-param name="channel" select="(*[local-name()='channel'] | */*[local-name()='channel'])[1]"/>
          <xsl:with-param name="items"
            select="*[local-name()='channel']/*[local-name()='item'] | */*[local-name()='channel']/*[local-name()='item']"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:when test="*[local-name()='RDF']">
        <xsl:call-template name="feed">
          <xsl:with-param name="channel" select="*/*[local-name()='channel'][1]"/>
          <xsl:with-param name="items"
            select="*/*[local-name()='item'] | */*[local-name()='channel']/*[local-name()='item']"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:when test="*[local-name()='feed']">
        <xsl:call-template name="feed">
          <xsl:with-param name="channel" select="*"/>
          <xsl:with-param name="items" select="*/*[local-name()='entry']"/>
        </xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <div class="q-not-feed"/>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- The report's per-feed file: the frame the feed is rendered into. -->
  <xsl:template match="Quorvelle_Feeds">
    <nav class="q-crumbs">
      <a href="index.html">
        <xsl:text>&#8592; </xsl:text>
        <xsl:value-of select="@name"/>
      </a>
    </nav>
    <xsl:for-each select="Quorvelle_Feed">
      <article class="q-feed">
        <p class="q-feed-address"><xsl:value-of select="@src"/></p>
        <div class="q-feed-slot" data-src="{@src}">
          <p class="q-loading">Loading headlines&#8230;</p>
        </div>
      </article>
    </xsl:for-each>
  </xsl:template>

  <xsl:template name="feed">
    <xsl:param name="channel"/>
    <xsl:param name="items"/>
    <div class="q-feed-render">
      <xsl:if test="$limit = 0">
        <header class="q-feed-header">
          <h1 class="q-feed-title">
            <xsl:call-template name="html-flag">
              <xsl:with-param name="node" select="$channel/*[local-name()='title'][1]"/>
            </xsl:call-template>
            <xsl:call-template name="text-of">
              <xsl:with-param name="node" select="$channel/*[local-name()='title'][1]"/>
            </xsl:call-template>
          </h1>
          <xsl:variable name="about"
            select="($channel/*[local-name()='description'] | $channel/*[local-name()='subtitle'] | $channel/*[local-name()='tagline'])[1]"/>
          <xsl:if test="normalize-space($about) != ''">
            <p class="q-feed-description" data-max="400">
              <xsl:call-template name="html-flag">
                <xsl:with-param name="node" select="$about"/>
              </xsl:call-template>
              <xsl:value-of select="$about"/>
            </p>
          </xsl:if>
          <xsl:variable name="home">
            <xsl:call-template name="home-link">
              <xsl:with-param name="channel" select="$channel"/>
            </xsl:call-template>
          </xsl:variable>
          <xsl:if test="normalize-space($home) != ''">
            <p class="q-feed-home">
              <xsl:call-template name="link">
                <xsl:with-param name="href" select="$home"/>
                <xsl:with-param name="text" select="'Visit the site'"/>
                <xsl:with-param name="node" select="$channel"/>
              </xsl:call-template>
            </p>
          </xsl:if>
        </header>
      </xsl:if>
      <ol class="q-items">
        <xsl:for-each select="$items">
          <xsl:if test="($limit = 0 or position() &lt;= $limit) and ($cap = 0 or position() &lt;= $cap)">
            <xsl:call-template name="item"/>
          </xsl:if>
        </xsl:for-each>
      </ol>
    </div>
  </xsl:template>

  <xsl:template name="item">
    <li class="q-item">
      <xsl:variable name="title">
        <xsl:call-template name="text-of">
          <xsl:with-param name="node" select="*[local-name()='title'][1]"/>
        </xsl:call-template>
      </xsl:variable>
      <xsl:variable name="page">
        <xsl:call-template name="page-address">
          <xsl:with-param name="of" select="."/>
        </xsl:call-template>
      </xsl:variable>
      <xsl:variable name="href">
        <xsl:choose>
          <xsl:when test="normalize-space($page) != ''"><xsl:value-of select="$page"/></xsl:when>
          <xsl:when test="*[local-name()='guid'][not(@isPermaLink='false')]">
            <xsl:value-of select="*[local-name()='guid'][1]"/>
          </xsl:when>
          <xsl:otherwise><xsl:value-of select="@*[local-name()='about']"/></xsl:otherwise>
        </xsl:choose>
      </xsl:variable>
      <h2 class="q-item-title">
        <xsl:call-template name="link">
          <xsl:with-param name="href" select="$href"/>
          <xsl:with-param name="text">
            <xsl:choose>
              <xsl:when test="normalize-space($title) != ''"><xsl:value-of select="normalize-space($title)"/></xsl:when>
              <xsl:otherwise>(untitled)</xsl:otherwise>
            </xsl:choose>
          </xsl:with-param>
          <xsl:with-param name="node" select="."/>
          <xsl:with-param name="html" select="*[local-name()='title'][1]"/>
        </xsl:call-template>
      </h2>
      <xsl:variable name="date"
        select="(*[local-name()='pubDate'] | *[local-name()='date'] | *[local-name()='published'] | *[local-name()='updated'] | *[local-name()='issued'] | *[local-name()='modified'])[1]"/>
      <xsl:if test="normalize-space($date) != ''">
        <time class="q-item-date" data-date="{normalize-space($date)}"><xsl:value-of select="normalize-space($date)"/></time>
      </xsl:if>
      <xsl:variable name="summary"
        select="(*[local-name()='description'] | *[local-name()='summary'] | *[local-name()='content'] | *[local-name()='encoded'])[1]"/>
      <xsl:if test="normalize-space($summary) != ''">
        <p class="q-item-summary" data-max="280">
          <xsl:call-template name="html-flag">
            <xsl:with-param name="node" select="$summary"/>
          </xsl:call-template>
          <xsl:value-of select="substring(normalize-space($summary), 1, 4000)"/>
        </p>
      </xsl:if>
    </li>
  </xsl:template>

  <!-- The site address of a channel or Atom feed. -->
  <xsl:template name="home-link">
    <xsl:param name="channel"/>
    <xsl:call-template name="page-address">
      <xsl:with-param name="of" select="$channel"/>
    </xsl:call-template>
  </xsl:template>

  <!-- The web page an item or a feed stands for: the text of a plain <link>
       (RSS, RDF), else the Atom link to the alternate version (rel
       "alternate" or none), one of type text/html first. Other Atom links
       (self, replies, enclosure, edit) are not the page. -->
  <xsl:template name="page-address">
    <xsl:param name="of"/>
    <xsl:variable name="plain" select="$of/*[local-name()='link'][not(@href)][normalize-space(.) != ''][1]"/>
    <xsl:variable name="alternate"
      select="$of/*[local-name()='link'][@href][not(@rel) or normalize-space(@rel) = 'alternate']"/>
    <xsl:choose>
      <xsl:when test="$plain"><xsl:value-of select="normalize-space($plain)"/></xsl:when>
      <xsl:when test="$alternate[@type = 'text/html']">
        <xsl:value-of select="$alternate[@type = 'text/html'][1]/@href"/>
      </xsl:when>
      <xsl:otherwise><xsl:value-of select="$alternate[1]/@href"/></xsl:otherwise>
    </xsl:choose>
  </xsl:template>

  <!-- Marks text that its feed declares as HTML (Atom type "html" or
       "text/html", Atom 0.3 escaped mode, RSS and RDF descriptions and
       encoded content) for reduction to plain text by the page's script.
       Everything else is text, "<" included. -->
  <xsl:template name="html-flag">
    <xsl:param name="node"/>
    <xsl:if test="$node[@type = 'html' or @type = 'text/html' or (@mode = 'escaped' and not(@type))
                  or (not(@type) and not(@mode) and (local-name() = 'description' or local-name() = 'encoded'))]">
      <xsl:attribute name="data-html">1</xsl:attribute>
    </xsl:if>
  </xsl:template>

  <!-- A title: escaped HTML (Atom type="html", mode="escaped") is marked for
       reduction to plain text by the page's script. -->
  <xsl:template name="text-of">
    <xsl:param name="node"/>
    <xsl:value-of select="normalize-space($node)"/>
  </xsl:template>

  <!-- A link made only for http, https and mailto addresses; any other
       address that is not empty is kept as data for the page's script,
       which resolves it against the feed's address and the xml:base in force
       and links it only when that gives an http or https address. -->
  <xsl:template name="link">
    <xsl:param name="href"/>
    <xsl:param name="text"/>
    <xsl:param name="node"/>
    <xsl:param name="html" select="/.."/>
    <xsl:variable name="url" select="normalize-space($href)"/>
    <xsl:variable name="scheme" select="translate(substring($url, 1, 8), $upper, $lower)"/>
    <xsl:variable name="isHtml" select="$html[@type='html' or @type='text/html' or (@mode='escaped' and not(@type))]"/>
    <xsl:choose>
      <xsl:when test="starts-with($scheme, 'http://') or starts-with($scheme, 'https://') or starts-with($scheme, 'mailto:')">
        <a href="{$url}" rel="noopener noreferrer">
          <xsl:if test="$isHtml"><xsl:attribute name="data-html">1</xsl:attribute></xsl:if>
          <xsl:value-of select="$text"/>
        </a>
      </xsl:when>
      <xsl:when test="$url != '' and not(contains(substring-before(concat($url, '/'), '/'), ':'))">
        <span class="q-link" data-link="{$url}">
          <xsl:attribute name="data-bases">
            <xsl:for-each select="$node/ancestor-or-self::*[@xml:base]">
              <xsl:value-of select="normalize-space(@xml:base)"/>
              <!-- A string, not a text node: a reader that drops blank text
                   nodes from the stylesheet keeps it. -->
              <xsl:value-of select="'&#10;'"/>
            </xsl:for-each>
          </xsl:attribute>
          <xsl:if test="$isHtml"><xsl:attribute name="data-html">1</xsl:attribute></xsl:if>
          <xsl:value-of select="$text"/>
        </span>
      </xsl:when>
      <xsl:otherwise>
        <span>
          <xsl:if test="$isHtml"><xsl:attribute name="data-html">1</xsl:attribute></xsl:if>
          <xsl:value-of select="$text"/>
        </span>
      </xsl:otherwise>
    </xsl:choose>
  </xsl:template>
</xsl:stylesheet>
